#include "server/FormTopic.h"

#include "common/ErrorTrap.h"
#include "base/Text.h"

namespace bridge::server {

FormTopic::~FormTopic() { Unregister(); }

void FormTopic::Serve(platform::Control& control) {
  items_[control.Name()] = &control;
  control.OnChange([this, name = control.Name()] {
    if (registered_) server_.ItemChanged(topic_, name);
  });
}

void FormTopic::Register() {
  server_.RegisterTopic(topic_, *this);
  registered_ = true;
}

void FormTopic::Unregister() {
  if (!registered_) return;
  registered_ = false;
  common::Ignore([&] { server_.UnregisterTopic(topic_); });
}

platform::ExecuteAnswer FormTopic::OnExecute(std::string_view command) {
  if (!execute_) return platform::ExecuteAnswer::Refuse;
  return execute_(command, false);
}

platform::ExecuteAnswer FormTopic::OnHeldExecute(std::string_view command) {
  if (!execute_) return platform::ExecuteAnswer::Refuse;
  // The handler may wait on other programs, and the form may be unloaded meanwhile (the
  // session ends): it runs on a copy.
  const ExecuteHandler execute = execute_;
  const platform::ExecuteAnswer answer = execute(command, true);
  return answer == platform::ExecuteAnswer::Accept ? answer : platform::ExecuteAnswer::Refuse;
}

std::optional<std::string> FormTopic::OnRequest(std::string_view item) {
  // DDE item names are matched without regard to case, as the DDE layer matches names.
  for (const auto& [name, control] : items_)
    if (base::EqualNoCase(name, item)) return control->Text();
  return std::nullopt;
}

}  // namespace bridge::server
