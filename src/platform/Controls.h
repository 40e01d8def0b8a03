// Windows and their controls: forms, labels, text boxes, measured in twips.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Timer.h"

namespace bridge::platform {

/// Screen distance in twips (1440 to the inch).
using Twips = double;

/// A colour in blue-green-red order (0x00BBGGRR), or a system colour by index.
struct Colour {
  std::uint32_t value = 0;
  bool systemIndex = false;
  static Colour Bgr(std::uint32_t bgr) { return {bgr, false}; }
  static Colour System(std::uint32_t index) { return {index, true}; }
};

/// A font; an empty face means the window's default font.
struct Font {
  std::string face;
  double points = 0;
};

/// Placement of a control in twips from the top left corner of the client area.
struct ControlLayout {
  Twips left = 0;
  Twips top = 0;
  Twips width = 0;
  Twips height = 0;
};

/// What a label or text box looks like when it is created.
struct ControlSpec {
  std::string name;
  ControlLayout layout;
  std::string text;
  Font font;
  std::optional<Colour> foreground;
  std::optional<Colour> background;
  std::string toolTip;
  bool visible = true;
  /// Whether Tab stops at it (text boxes only; labels never take the focus).
  bool tabStop = true;
};

/// A label or text box. Its text is its DDE item value when its form is a DDE source.
class Control {
 public:
  virtual ~Control() = default;
  virtual const std::string& Name() const = 0;
  virtual std::string Text() const = 0;
  /// Sets the text; listeners run only when the text actually changes.
  virtual void SetText(std::string_view text) = 0;
  virtual bool Visible() const = 0;
  virtual void SetVisible(bool visible) = 0;
  /// Adds a listener that runs after every change of the text, whoever made it.
  virtual void OnChange(std::function<void()> listener) = 0;
};

/// A label: text shown, not editable.
class Label : public Control {};

/// A text box. Typed characters pass its key-press handler first; a handler that sets
/// the code to 0 cancels the character.
class TextBox : public Control {
 public:
  virtual void OnKeyPress(std::function<void(std::int16_t& keyAscii)> handler) = 0;
};

enum class WindowState : std::int16_t { Normal = 0, Minimized = 1, Maximized = 2 };

/// What a form looks like when it is created; it starts hidden.
struct WindowSpec {
  std::string name;
  std::string caption;
  Twips clientWidth = 0;
  Twips clientHeight = 0;
  std::optional<Colour> background;
  bool hasIcon = false;
  /// Whether the user can size the window (border style "sizable").
  bool sizable = false;
};

/// A form: a top-level window with child controls. Positions are the outer bounds in twips.
class Window {
 public:
  virtual ~Window() = default;
  virtual const std::string& Name() const = 0;
  virtual std::string Caption() const = 0;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual bool Visible() const = 0;
  virtual WindowState State() const = 0;
  virtual void SetState(WindowState state) = 0;
  virtual Twips Left() const = 0;
  virtual Twips Top() const = 0;
  virtual Twips Width() const = 0;
  virtual Twips Height() const = 0;
  virtual void SetLeft(Twips left) = 0;
  virtual void SetTop(Twips top) = 0;
  virtual void SetWidth(Twips width) = 0;
  virtual void SetHeight(Twips height) = 0;
  /// Whether the user can size the window.
  virtual bool Sizable() const = 0;
  /// Dots per inch of the window's device context, horizontally and vertically.
  virtual int DpiX() const = 0;
  virtual int DpiY() const = 0;
  virtual void BringToFront() = 0;
  /// Creates a label; controls are in tab order of creation.
  virtual Label& AddLabel(const ControlSpec& design) = 0;
  virtual TextBox& AddTextBox(const ControlSpec& design) = 0;
  /// Runs after every change of size or window state, the first showing included.
  virtual void OnResize(std::function<void()> handler) = 0;
  /// Runs when the user closes the window. The window is destroyed right after, unless the
  /// handler answers false: the program then destroys it itself, later.
  virtual void OnClose(std::function<bool()> handler) = 0;
  /// Runs when the Windows session ends (log-off or shutdown). The system ends the process
  /// soon after; no close comes first.
  virtual void OnEndSession(std::function<void()> handler) = 0;
  /// Destroys the window and its controls (unloading the form).
  virtual void Destroy() = 0;
};

/// The window layer: creates forms and timers and runs the message loop.
class Ui {
 public:
  virtual ~Ui() = default;
  virtual std::unique_ptr<Window> CreateForm(const WindowSpec& design) = 0;
  /// The loaded forms, in the order they were loaded.
  virtual std::vector<Window*> LoadedForms() = 0;
  virtual std::unique_ptr<Timer> CreateTimer() = 0;
  /// Delivers the window messages that are waiting, then returns.
  virtual void ProcessMessages() = 0;
  /// Blocks the user-interface thread; used only by short waits.
  virtual void Sleep(std::int32_t milliseconds) = 0;
  /// Runs the message loop, one event at a time, until `Quit`; returns the exit code.
  virtual int RunMessageLoop() = 0;
  /// Ends the message loop once the current event has returned.
  virtual void Quit() = 0;
  /// Ends the process at once, without any further unload processing (a fake records it).
  virtual void EndProcess(int exitCode) = 0;
};

}  // namespace bridge::platform
