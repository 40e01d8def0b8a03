// A form's labels and text boxes served as the items of one DDE topic.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "platform/Controls.h"
#include "platform/Dde.h"

namespace bridge::server {

/// Makes a form a DDE source: each control is an item named after it, whose value is its
/// text; every change of a text is announced to the clients linked to that item.
class FormTopic : public platform::TopicHandler {
 public:
  /// Answers an EXECUTE; `held` tells that the DDE layer hands back a command the handler
  /// held, from the message loop.
  using ExecuteHandler = std::function<platform::ExecuteAnswer(std::string_view command, bool held)>;

  FormTopic(platform::DdeServer& server, std::string topic) : server_(server), topic_(std::move(topic)) {}
  ~FormTopic() override;

  /// Adds `control` as an item; call before `Register`.
  void Serve(platform::Control& control);
  /// Who answers the EXECUTEs of the topic; without one every EXECUTE is refused.
  void SetExecuteHandler(ExecuteHandler handler) { execute_ = std::move(handler); }
  /// Starts answering on the topic. Throws Failure when the DDE layer refuses.
  void Register();
  /// Stops answering and ends the topic's conversations; harmless when not registered.
  void Unregister();

  platform::ExecuteAnswer OnExecute(std::string_view command) override;
  platform::ExecuteAnswer OnHeldExecute(std::string_view command) override;
  std::optional<std::string> OnRequest(std::string_view item) override;

 private:
  platform::DdeServer& server_;
  std::string topic_;
  std::map<std::string, platform::Control*, std::less<>> items_;
  ExecuteHandler execute_;
  bool registered_ = false;
};

}  // namespace bridge::server
