#include "server/DDEServerModule.h"

namespace bridge::server {
namespace {

constexpr const char* kClientTopic = "|DDEClient";
constexpr const char* kClientItem = "RequestDDEConnection";

}  // namespace

void DDEServerModule::Initialize() {
  const bool serving = common::TrapOr(common_, "DDEServerModule.Initialize", false, [&] {
    server_.Load();
    server_.BecomeSource();
    return true;
  });
  if (!serving) return;
  for (const char* program : kSiblingPrograms) InformClient(program);
}

void DDEServerModule::InformClient(const std::string& program) {
  const bool targeted = common::TrapOr(common_, "DDEServerModule.InformClient", false, [&] {
    server_.Load();
    server_.DDEStart().SetLinkTopic(program + kClientTopic);
    server_.DDEStart().SetLinkItem(kClientItem);
    return true;
  });
  if (!targeted) return;
  // A program that is not running, or does not answer in time, is the normal case here.
  common::Ignore([&] {
    server_.DDEStart().SetLinkMode(common::LinkMode::Automatic);
    server_.DDEStart().LinkExecute("000start");
  });
}

void DDEServerModule::Terminate() {
  const bool targeted = common::TrapOr(common_, "DDEServerModule.Terminate", false, [&] {
    server_.Load();
    server_.DDEStart().SetLinkTopic(std::string("TavixLauncher") + kClientTopic);
    server_.DDEStart().SetLinkItem(kClientItem);
    return true;
  });
  if (!targeted) return;
  common::Ignore([&] {
    server_.DDEStart().SetLinkMode(common::LinkMode::Automatic);
    server_.DDEStart().LinkExecute("000stop");
  });
  common::Trap(common_, "DDEServerModule.Terminate", [&] { server_.Unload(); });
}

void DDEServerModule::ResetWindows(platform::Window& main, std::int32_t position) {
  common::Trap(common_, "DDEServer.ResetWindows", [&] {
    main.Show();
    main.SetTop(position);
    main.SetLeft(position);
  });
}

}  // namespace bridge::server
