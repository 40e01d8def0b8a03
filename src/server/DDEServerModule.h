// Start and end of the DDE server: the DDEServer form as source, the notices to the suite.
#pragma once

#include <cstdint>
#include <string>

#include "common/Common.h"
#include "server/DDEServer.h"

namespace bridge::server {

/// The suite's programs told that the server has started, in this order.
inline constexpr const char* kSiblingPrograms[] = {"Quillet", "Ledgemar", "Sarnok", "Orvena", "TavixLauncher",
                                                   "TavixFrequency"};

/// The `DDEServerModule` module.
class DDEServerModule {
 public:
  DDEServerModule(DDEServer& server, common::Common& common) : server_(server), common_(common) {}

  /// Makes the DDEServer form the source of topic "DDEServer" and tells the suite's programs,
  /// one after another; reports under "DDEServerModule.Initialize".
  void Initialize();
  /// Tells the launcher that the server stopped and unloads the form; reports under
  /// "DDEServerModule.Terminate".
  void Terminate();
  /// Sends "000start" to `program`; a program that is not running costs one silent failed
  /// initiate. Reports under "DDEServerModule.InformClient".
  void InformClient(const std::string& program);
  /// Shows the main window with its top-left corner at `position` twips on both axes;
  /// reports under "DDEServer.ResetWindows".
  void ResetWindows(platform::Window& main, std::int32_t position);

 private:
  DDEServer& server_;
  common::Common& common_;
};

}  // namespace bridge::server
