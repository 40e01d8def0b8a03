// Forms, labels and text boxes as Win32 windows on the user-interface thread (timers are in
// Win32Timer.cpp).
#include <windows.h>
#include <commctrl.h>

#include <cmath>
#include <functional>
#include <vector>

#include "base/Failure.h"
#include "platform/win32/Win32Handles.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

constexpr const char* kFormClass = "TavixHrdBridgeForm";
constexpr int kIconResource = 1;
constexpr double kTwipsPerInch = 1440.0;
// A form's windows take their controls' new texts on a timer of the form's: at most ten
// times a second, and only when no other message waits (a timer's message is the last the
// queue gives). Under Wine a text box takes about a millisecond to take a text; a person
// sees no difference, while DDE traffic never waits behind the display.
constexpr UINT_PTR kShowTextsTimer = 1;
constexpr UINT kShowTextsEveryMs = 100;

LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

int ToPixels(Twips twips, int dpi) { return static_cast<int>(std::lround(twips * dpi / kTwipsPerInch)); }
Twips ToTwips(int pixels, int dpi) { return pixels * kTwipsPerInch / dpi; }

COLORREF ColourRef(const Colour& colour) {
  return colour.systemIndex ? GetSysColor(static_cast<int>(colour.value)) : static_cast<COLORREF>(colour.value);
}

/// One child control, label (STATIC) or text box (EDIT).
class Win32Control {
 public:
  /// `stale` is told when the window no longer shows the control's text.
  Win32Control(HWND parent, int id, const ControlSpec& design, bool edit, HFONT defaultFont,
               std::function<void()> stale)
      : design_(design), edit_(edit), onStale_(std::move(stale)) {
    const int dpiX = ScreenDpi(LOGPIXELSX);
    const int dpiY = ScreenDpi(LOGPIXELSY);
    const DWORD style = WS_CHILD | (design.visible ? WS_VISIBLE : 0) |
                        (edit ? ES_LEFT | ES_AUTOHSCROLL : SS_LEFT | SS_NOPREFIX) |
                        (edit && design.tabStop ? WS_TABSTOP : 0);
    window_.Reset(CreateWindowExA(edit ? WS_EX_CLIENTEDGE : 0, edit ? "EDIT" : "STATIC", design.text.c_str(), style,
                              ToPixels(design.layout.left, dpiX), ToPixels(design.layout.top, dpiY),
                              ToPixels(design.layout.width, dpiX), ToPixels(design.layout.height, dpiY), parent,
                              reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), GetModuleHandleA(nullptr), nullptr));
    HFONT font = defaultFont;
    if (!design.font.face.empty()) {
      font_.Reset(CreateFontA(-static_cast<int>(std::lround(design.font.points * dpiY / 72.0)), 0, 0, 0,
                                 FW_NORMAL, FALSE, FALSE, FALSE, ANSI_CHARSET, OUT_DEFAULT_PRECIS,
                                 CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS,
                              design.font.face.c_str()));
      if (font_) font = static_cast<HFONT>(font_.Get());
    }
    SendMessageA(window_.Get(), WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    if (design.background) background_.Reset(CreateSolidBrush(ColourRef(*design.background)));
    SetWindowLongPtrA(window_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    if (edit)
      originalProc = reinterpret_cast<WNDPROC>(
          SetWindowLongPtrA(window_.Get(), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(EditProc)));
  }
  // The window goes first: its procedure finds this object while it is destroyed, and it
  // uses the font and brush until then.
  ~Win32Control() { window_.Reset(); }
  Win32Control(const Win32Control&) = delete;
  Win32Control& operator=(const Win32Control&) = delete;

  HWND Handle() const { return window_.Get(); }
  const ControlSpec& Design() const { return design_; }
  bool IsEdit() const { return edit_; }

  // The text is the control's own; the form has its window show it later (kShowTextsTimer).
  // HRD can report many changes in a moment: only the newest is shown, while every change
  // still reaches the listeners at once.
  const std::string& GetText() const { return text_; }
  void PutText(std::string_view text) {
    if (text_ == text) return;
    text_ = text;
    if (!stale_) {
      stale_ = true;
      onStale_();
    }
    // A text box's listeners run as from its change notice: their failure stays with them.
    if (edit_)
      base::Ignore([&] { Changed(); });
    else
      Changed();
  }
  bool Stale() const { return stale_; }
  /// Shows the control's text, when the window does not show it yet.
  void ShowText() {
    if (!stale_) return;
    stale_ = false;
    showing_ = true;
    SetWindowTextA(window_.Get(), text_.c_str());
    showing_ = false;
  }
  /// The edit control's own change, the user's typing: the text is the window's.
  void WindowTextChanged() {
    if (showing_) return;
    const int length = GetWindowTextLengthA(window_.Get());
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const int copied = GetWindowTextA(window_.Get(), text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    if (text == text_) return;
    text_ = std::move(text);
    Changed();
  }
  void Changed() {
    // A listener may add listeners, which can move the others: walk by index, and run
    // each from a copy.
    for (std::size_t i = 0; i < listeners_.size(); ++i) {
      auto listener = listeners_[i];
      listener();
    }
  }
  void AddListener(std::function<void()> listener) { listeners_.push_back(std::move(listener)); }

  /// Colours for WM_CTLCOLOR*: returns the brush, or null for the defaults.
  HBRUSH Paint(HDC dc) const {
    if (design_.foreground) SetTextColor(dc, ColourRef(*design_.foreground));
    if (!design_.background) return nullptr;
    SetBkColor(dc, ColourRef(*design_.background));
    return static_cast<HBRUSH>(background_.Get());
  }

  std::function<void(std::int16_t&)> keyPress;
  WNDPROC originalProc = nullptr;  // an edit control's own procedure, under EditProc

 private:
  ControlSpec design_;
  bool edit_;
  std::string text_ = design_.text;
  bool stale_ = false;    // the window does not show text_ yet
  std::function<void()> onStale_;
  bool showing_ = false;  // the window is being given text_
  GdiObject font_;
  GdiObject background_;
  WindowHandle window_;
  std::vector<std::function<void()>> listeners_;
};

template <typename Base>
class ControlAdapter : public Base {
 public:
  explicit ControlAdapter(std::unique_ptr<Win32Control> control) : control_(std::move(control)) {}
  const std::string& Name() const override { return control_->Design().name; }
  std::string Text() const override { return control_->GetText(); }
  void SetText(std::string_view text) override { control_->PutText(text); }
  bool Visible() const override { return (GetWindowLongA(control_->Handle(), GWL_STYLE) & WS_VISIBLE) != 0; }
  void SetVisible(bool visible) override { ShowWindow(control_->Handle(), visible ? SW_SHOWNA : SW_HIDE); }
  void OnChange(std::function<void()> listener) override { control_->AddListener(std::move(listener)); }
  Win32Control& Control() { return *control_; }

 protected:
  std::unique_ptr<Win32Control> control_;
};

using Win32Label = ControlAdapter<Label>;

// Keys that edit a text box without being characters are offered to its key-press
// handler as the control character they stand for, so that a handler that cancels every
// character also keeps the box from being changed by Delete, cut, paste or undo.
constexpr std::int16_t kAsciiDelete = 127;
constexpr std::int16_t kAsciiCut = 24;    // Ctrl+X
constexpr std::int16_t kAsciiPaste = 22;  // Ctrl+V
constexpr std::int16_t kAsciiUndo = 26;   // Ctrl+Z

// Every text box's window procedure, in front of the edit control's own. A person edits
// what the box holds: a text not shown yet is shown before any editing message.
LRESULT CALLBACK EditProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* control = reinterpret_cast<Win32Control*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!control || !control->originalProc) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_CHAR:
    case WM_KEYDOWN:
    case WM_CUT:
    case WM_CLEAR:
    case WM_PASTE:
    case WM_UNDO:
    case EM_UNDO:
    case WM_LBUTTONDOWN:
      control->ShowText();
      break;
    default:
      break;
  }
  auto offer = [&](std::int16_t code) {
    if (!control->keyPress) return code;
    base::Ignore([&] { control->keyPress(code); });
    return code;
  };
  switch (message) {
    case WM_CHAR: {
      const std::int16_t code = offer(static_cast<std::int16_t>(wParam & 0xFF));
      if (code == 0) return 0;
      wParam = static_cast<unsigned char>(code);
      break;
    }
    case WM_KEYDOWN:
      if (wParam == VK_DELETE && offer(kAsciiDelete) == 0) return 0;
      break;
    case WM_CUT:
      if (offer(kAsciiCut) == 0) return 0;
      break;
    case WM_CLEAR:
      if (offer(kAsciiDelete) == 0) return 0;
      break;
    case WM_PASTE:
      if (offer(kAsciiPaste) == 0) return 0;
      break;
    case WM_UNDO:
    case EM_UNDO:
      if (offer(kAsciiUndo) == 0) return 0;
      break;
    default:
      break;
  }
  return CallWindowProcA(control->originalProc, window, message, wParam, lParam);
}

class Win32TextBox : public ControlAdapter<TextBox> {
 public:
  using ControlAdapter::ControlAdapter;
  void OnKeyPress(std::function<void(std::int16_t&)> handler) override { Control().keyPress = std::move(handler); }
};

/// A form: a top-level window of the program's own class.
class Win32Window : public Window {
 public:
  Win32Window(HINSTANCE instance, const WindowSpec& design, std::vector<Window*>& loaded)
      : design_(design), loaded_(loaded) {
    dpiX_ = ScreenDpi(LOGPIXELSX);
    dpiY_ = ScreenDpi(LOGPIXELSY);
    style_ = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN |
             (design.sizable ? WS_THICKFRAME | WS_MAXIMIZEBOX : 0);
    RECT frame{0, 0, ToPixels(design.clientWidth, dpiX_), ToPixels(design.clientHeight, dpiY_)};
    AdjustWindowRectEx(&frame, style_, FALSE, WS_EX_CONTROLPARENT);
    // Made before the window, which paints with them from its first message.
    if (design.background) background_.Reset(CreateSolidBrush(ColourRef(*design.background)));
    defaultFont_ = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));  // a stock object: never deleted
    // The window is attached to this form by its first message (WM_NCCREATE).
    const HWND created = CreateWindowExA(WS_EX_CONTROLPARENT, kFormClass, design.caption.c_str(), style_,
                                         CW_USEDEFAULT, CW_USEDEFAULT, frame.right - frame.left,
                                         frame.bottom - frame.top, nullptr, nullptr, instance, this);
    if (!created) {
      window_.Release();  // attached, then destroyed by the system already
      throw base::Failure(base::RunError::InvalidProcedureCall);
    }
    try {
      loaded_.push_back(this);
      if (design.hasIcon) {
        // Loaded without LR_SHARED, so they are this form's to destroy, after its window.
        bigIcon_ = Icon::Owned(static_cast<HICON>(
            LoadImageA(instance, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON, 32, 32, 0)));
        smallIcon_ = Icon::Owned(static_cast<HICON>(
            LoadImageA(instance, MAKEINTRESOURCEA(kIconResource), IMAGE_ICON, 16, 16, 0)));
        SendMessageA(window_.Get(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(bigIcon_.Get()));
        SendMessageA(window_.Get(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(smallIcon_.Get()));
      }
    } catch (...) {
      Destroy();
      throw;
    }
  }
  ~Win32Window() override { Destroy(); }

  const std::string& Name() const override { return design_.name; }
  std::string Caption() const override {
    char text[256] = {};
    GetWindowTextA(window_.Get(), text, sizeof text);
    return text;
  }
  void Show() override {
    if (!window_.Get()) return;
    const bool first = !shownOnce_;
    shownOnce_ = true;
    // The resize handler runs once for the first showing, not for each message of it.
    suppressResize_ = first;
    // The window appears with its texts, not with older ones for a moment.
    ShowTexts();
    const int command = pendingState_ == WindowState::Minimized   ? SW_SHOWMINNOACTIVE
                        : pendingState_ == WindowState::Maximized ? SW_SHOWMAXIMIZED
                                                                  : SW_SHOW;
    ShowWindow(window_.Get(), command);
    suppressResize_ = false;
    if (first) Resized();
  }
  void Hide() override {
    if (window_.Get()) ShowWindow(window_.Get(), SW_HIDE);
  }
  bool Visible() const override { return window_.Get() && IsWindowVisible(window_.Get()); }
  WindowState State() const override {
    if (!window_.Get()) return WindowState::Normal;
    if (!IsWindowVisible(window_.Get())) return pendingState_;
    if (IsIconic(window_.Get())) return WindowState::Minimized;
    if (IsZoomed(window_.Get())) return WindowState::Maximized;
    return WindowState::Normal;
  }
  void SetState(WindowState state) override {
    pendingState_ = state;
    // A hidden form takes its state when it is shown.
    if (!window_.Get() || !IsWindowVisible(window_.Get()) || State() == state) return;
    ShowWindow(window_.Get(), state == WindowState::Minimized   ? SW_MINIMIZE
                        : state == WindowState::Maximized ? SW_MAXIMIZE
                                                          : SW_RESTORE);
  }
  Twips Left() const override { return ToTwips(Bounds().left, dpiX_); }
  Twips Top() const override { return ToTwips(Bounds().top, dpiY_); }
  Twips Width() const override { return ToTwips(Bounds().right - Bounds().left, dpiX_); }
  Twips Height() const override { return ToTwips(Bounds().bottom - Bounds().top, dpiY_); }
  void SetLeft(Twips left) override { Move(ToPixels(left, dpiX_), Bounds().top, SWP_NOSIZE); }
  void SetTop(Twips top) override { Move(Bounds().left, ToPixels(top, dpiY_), SWP_NOSIZE); }
  void SetWidth(Twips width) override { Size(ToPixels(width, dpiX_), Bounds().bottom - Bounds().top); }
  void SetHeight(Twips height) override { Size(Bounds().right - Bounds().left, ToPixels(height, dpiY_)); }
  bool Sizable() const override { return design_.sizable; }
  int DpiX() const override { return dpiX_; }
  int DpiY() const override { return dpiY_; }
  void BringToFront() override {
    if (!window_.Get()) return;
    SetWindowPos(window_.Get(), HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    SetForegroundWindow(window_.Get());
  }
  Label& AddLabel(const ControlSpec& design) override {
    auto label = std::make_unique<Win32Label>(NewControl(design, false));
    Label& result = *label;
    children_.push_back(std::move(label));
    return result;
  }
  TextBox& AddTextBox(const ControlSpec& design) override {
    auto box = std::make_unique<Win32TextBox>(NewControl(design, true));
    Win32Control* control = &box->Control();
    TextBox& result = *box;
    children_.push_back(std::move(box));
    if (!design.toolTip.empty()) AddToolTip(*control);
    return result;
  }
  void OnResize(std::function<void()> handler) override { onResize_ = std::move(handler); }
  void OnClose(std::function<bool()> handler) override { onClose_ = std::move(handler); }
  void OnEndSession(std::function<void()> handler) override { onEndSession_ = std::move(handler); }
  void Destroy() override {
    if (!window_) return;
    std::erase(loaded_, this);
    children_.clear();
    controls_.clear();
    toolTip_.Reset();
    // Detached first: the messages of its destruction are no longer this form's.
    WindowHandle window = std::move(window_);
    SetWindowLongPtrA(window.Get(), GWLP_USERDATA, 0);
    window.Reset();
    // The icons the window showed go after it.
    bigIcon_ = Icon();
    smallIcon_ = Icon();
  }

  LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
      case WM_SIZE:
        if (!suppressResize_ && shownOnce_) Resized();
        return 0;
      case WM_CLOSE:
      {
        // A handler that fails lets the window go, as one that answers true does.
        bool close = true;
        if (onClose_) base::Ignore([&] { close = onClose_(); });
        if (close) Destroy();
        return 0;
      }
      case WM_QUERYENDSESSION:
        return TRUE;  // the program never holds up a log-off
      case WM_ENDSESSION:
        // The session ends for real (not cancelled by another program): no WM_CLOSE will
        // come, and the system ends the process once this returns.
        if (wParam && onEndSession_) base::Ignore([&] { onEndSession_(); });
        return 0;
      case WM_ERASEBKGND:
        if (background_.Get()) {
          RECT client;
          GetClientRect(window_.Get(), &client);
          FillRect(reinterpret_cast<HDC>(wParam), &client, static_cast<HBRUSH>(background_.Get()));
          return 1;
        }
        break;
      case WM_CTLCOLORSTATIC:
      case WM_CTLCOLOREDIT:
        if (Win32Control* control = ControlOf(reinterpret_cast<HWND>(lParam))) {
          if (HBRUSH brush = control->Paint(reinterpret_cast<HDC>(wParam))) return reinterpret_cast<LRESULT>(brush);
          if (message == WM_CTLCOLORSTATIC && background_.Get()) {
            SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(background_.Get());
          }
        }
        break;
      case WM_COMMAND:
        if (HIWORD(wParam) == EN_CHANGE)
          if (Win32Control* control = ControlOf(reinterpret_cast<HWND>(lParam)))
            base::Ignore([&] { control->WindowTextChanged(); });
        return 0;
      case WM_TIMER:
        if (wParam != kShowTextsTimer) break;
        ShowTexts();
        return 0;
      default:
        break;
    }
    return DefWindowProcA(window_.Get(), message, wParam, lParam);
  }

  HWND Hwnd() const { return window_.Get(); }
  void Attach(HWND window) { window_.Reset(window); }

 private:
  std::unique_ptr<Win32Control> NewControl(const ControlSpec& design, bool edit) {
    auto control = std::make_unique<Win32Control>(window_.Get(), nextId_++, design, edit, defaultFont_,
                                                  [this] { TextsStale(); });
    controls_.push_back(control.get());
    return control;
  }
  /// A control's window no longer shows its text: the form's timer is set, unless it is
  /// already. Without a timer the texts are shown at once.
  void TextsStale() {
    if (showTimerSet_ || !window_.Get()) return;
    showTimerSet_ = SetTimer(window_.Get(), kShowTextsTimer, kShowTextsEveryMs, nullptr) != 0;
    if (!showTimerSet_) ShowTexts();
  }
  /// The controls' windows take their texts, one after the other; when another message is
  /// waiting, the rest are shown at the timer's next tick.
  void ShowTexts() {
    if (showTimerSet_) KillTimer(window_.Get(), kShowTextsTimer);
    showTimerSet_ = false;
    bool shownOne = false;
    for (Win32Control* control : controls_) {
      if (!control->Stale()) continue;
      if (shownOne && HIWORD(GetQueueStatus(QS_POSTMESSAGE | QS_SENDMESSAGE)) != 0) {
        showTimerSet_ = SetTimer(window_.Get(), kShowTextsTimer, USER_TIMER_MINIMUM, nullptr) != 0;
        if (showTimerSet_) return;
      }
      control->ShowText();
      shownOne = true;
    }
  }
  Win32Control* ControlOf(HWND child) const {
    for (Win32Control* control : controls_)
      if (control->Handle() == child) return control;
    return nullptr;
  }
  void AddToolTip(Win32Control& control) {
    if (!toolTip_) {
      toolTip_.Reset(CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                 CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_.Get(), nullptr,
                                 GetModuleHandleA(nullptr), nullptr));
      if (!toolTip_) return;
    }
    TTTOOLINFOA tool{};
    tool.cbSize = TTTOOLINFOA_V1_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = window_.Get();
    tool.uId = reinterpret_cast<UINT_PTR>(control.Handle());
    tool.lpszText = const_cast<char*>(control.Design().toolTip.c_str());
    SendMessageA(toolTip_.Get(), TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }
  RECT Bounds() const {
    RECT bounds{};
    if (window_.Get()) GetWindowRect(window_.Get(), &bounds);
    return bounds;
  }
  void Move(int x, int y, UINT flags) {
    if (window_.Get()) SetWindowPos(window_.Get(), nullptr, x, y, 0, 0, flags | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void Size(int width, int height) {
    if (window_.Get()) SetWindowPos(window_.Get(), nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  }
  void Resized() {
    if (onResize_) base::Ignore([&] { onResize_(); });
  }

  WindowSpec design_;
  std::vector<Window*>& loaded_;
  DWORD style_ = 0;
  int dpiX_ = 96;
  int dpiY_ = 96;
  int nextId_ = 100;
  bool shownOnce_ = false;
  bool suppressResize_ = false;
  bool showTimerSet_ = false;  // kShowTextsTimer
  WindowState pendingState_ = WindowState::Normal;
  HFONT defaultFont_ = nullptr;
  GdiObject background_;
  Icon bigIcon_;
  Icon smallIcon_;
  std::vector<std::unique_ptr<Control>> children_;
  std::vector<Win32Control*> controls_;
  std::function<void()> onResize_;
  std::function<bool()> onClose_;
  std::function<void()> onEndSession_;
  // Last, so that it goes first should a constructor fail: its messages still find the
  // members above. Destroy detaches and destroys it in every other case.
  WindowHandle toolTip_;
  WindowHandle window_;
};

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* form = static_cast<Win32Window*>(reinterpret_cast<CREATESTRUCTA*>(lParam)->lpCreateParams);
    form->Attach(window);
    SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
  }
  auto* form = reinterpret_cast<Win32Window*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (!form) return DefWindowProcA(window, message, wParam, lParam);
  try {
    return form->Handle(message, wParam, lParam);
  } catch (...) {
    return DefWindowProcA(window, message, wParam, lParam);
  }
}

}  // namespace

// ---- the window layer -------------------------------------------------------------------

Win32Ui::Win32Ui(HINSTANCE instance) : instance_(instance) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES};
  InitCommonControlsEx(&controls);

  WNDCLASSEXA form{};
  form.cbSize = sizeof form;
  form.lpfnWndProc = FormProc;
  form.hInstance = instance;
  form.hCursor = LoadCursor(nullptr, IDC_ARROW);
  form.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  // LoadIcon's icon is shared by the system: held, never destroyed.
  classIcon_ = Icon::Shared(LoadIconA(instance, MAKEINTRESOURCEA(kIconResource)));
  form.hIcon = classIcon_.Get();
  form.lpszClassName = kFormClass;
  RegisterClassExA(&form);

  constexpr const char* kTimerClass = "TavixHrdBridgeTimers";
  RegisterHiddenWindowClass(kTimerClass, TimerWindowProc);
  timerWindow_ = MessageOnlyWindow(kTimerClass);
  SetWindowLongPtrA(timerWindow_.Get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32Ui::~Win32Ui() = default;

std::unique_ptr<Window> Win32Ui::CreateForm(const WindowSpec& design) {
  return std::make_unique<Win32Window>(instance_, design, forms_);
}

std::vector<Window*> Win32Ui::LoadedForms() { return forms_; }

void Win32Ui::ProcessMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void Win32Ui::Sleep(std::int32_t milliseconds) { ::Sleep(static_cast<DWORD>(milliseconds)); }

void Win32Ui::Quit() { PostQuitMessage(0); }

void Win32Ui::EndProcess(int exitCode) { ExitProcess(static_cast<UINT>(exitCode)); }

int Win32Ui::RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    // Tab moves between the controls of the active form. Only keys do that: the other
    // messages (most are DDE's) are spared the two calls to the window server.
    if (message.message >= WM_KEYFIRST && message.message <= WM_KEYLAST) {
      HWND active = GetActiveWindow();
      if (active && IsDialogMessageA(active, &message)) continue;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

}  // namespace bridge::platform::win32
