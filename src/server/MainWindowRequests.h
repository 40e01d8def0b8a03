// What the suite's commands ask of the main window: the dispatcher asks, the window acts.
#pragma once

#include <cstdint>

namespace bridge::server {

/// The main window's side of the client commands. Each reports its own failures.
class MainWindowRequests {
 public:
  virtual ~MainWindowRequests() = default;
  /// "shutdown": the program ends about a second later; returns at once.
  virtual void RequestShutdown() = 0;
  /// "activate": the window restored and in front.
  virtual void Activate() = 0;
  /// "resetwindows": the window shown with its top-left corner at `position` twips.
  virtual void ResetWindows(std::int32_t position) = 0;
  /// The radio's current mode published again, as a mode report would.
  virtual void RepublishMode() = 0;
};

}  // namespace bridge::server
