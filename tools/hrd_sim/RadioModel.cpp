// The simulated radio's items and commands.
#include "RadioModel.h"

#include <utility>

namespace tools::hrd_sim {

ItemValues DefaultItems() {
  return {
      {kItemHertz, "14070000"}, {kItemHertzB, "7040000"},  {kItemMode, "USB"},
      {kItemTx, "off"},         {kItemButtonStatus, ""},
  };
}

std::string Buttons::StatusText() const {
  return std::string("Split=") + (split ? "on" : "off") + " Dual=" + (dual ? "on" : "off");
}

void Buttons::TakeFrom(std::string_view status) {
  while (!status.empty()) {
    auto [word, rest] = SplitVerb(status);
    status = rest;
    const std::size_t equals = word.find('=');
    if (equals == std::string_view::npos) continue;
    const std::string_view name = word.substr(0, equals);
    const std::string_view state = word.substr(equals + 1);
    if (!EqualsNoCase(state, "on") && !EqualsNoCase(state, "off")) continue;
    const bool on = EqualsNoCase(state, "on");
    if (EqualsNoCase(name, "split")) split = on;
    if (EqualsNoCase(name, "dual")) dual = on;
  }
}

ExecuteAction ParseExecute(std::string_view command, Buttons& buttons) {
  auto [verb, argument] = SplitVerb(Trim(command));
  if (EqualsNoCase(verb, "frqa") && AllDigits(argument)) {
    return {kItemHertz, std::string(argument)};
  }
  if (EqualsNoCase(verb, "frqb") && AllDigits(argument)) {
    return {kItemHertzB, std::string(argument)};
  }
  if (EqualsNoCase(verb, "mode") && !argument.empty()) {
    return {kItemMode, ToUpper(argument)};
  }
  if (EqualsNoCase(verb, "butn")) {
    const std::size_t equals = argument.find('=');
    if (equals == std::string_view::npos) return {};
    const std::string_view name = argument.substr(0, equals);
    const std::string_view state = argument.substr(equals + 1);
    const bool on = EqualsNoCase(state, "on");
    if (!on && !EqualsNoCase(state, "off")) return {};
    if (EqualsNoCase(name, "tx")) return {kItemTx, on ? "on" : "off"};
    if (EqualsNoCase(name, "split")) {
      buttons.split = on;
      return {kItemButtonStatus, buttons.StatusText()};
    }
    if (EqualsNoCase(name, "dual")) {
      buttons.dual = on;
      return {kItemButtonStatus, buttons.StatusText()};
    }
  }
  return {};
}

Radio::Radio(ItemValues items, ChangesAfterRequest changes)
    : items_(std::move(items)), changesAfterRequest_(std::move(changes)) {
  if (const std::string* status = Find(kItemButtonStatus)) buttons_.TakeFrom(*status);
}

const std::string* Radio::Find(std::string_view item) const {
  auto it = items_.find(item);
  return it != items_.end() ? &it->second : nullptr;
}

std::optional<Change> Radio::Set(const std::string& item, const std::string& value) {
  auto it = items_.find(item);
  if (it != items_.end() && it->second == value) return std::nullopt;
  const std::string name = it != items_.end() ? it->first : item;
  items_[name] = value;
  if (EqualsNoCase(name, kItemButtonStatus)) buttons_.TakeFrom(value);
  return Change{name, value};
}

Radio::Executed Radio::Execute(std::string_view command) {
  ExecuteAction action = ParseExecute(command, buttons_);
  if (action.item.empty()) return {};
  return {true, Set(action.item, action.value)};
}

void Radio::SetExecuteReply(ExecuteReply reply, std::uint32_t stallMs) {
  if (reply == ExecuteReply::Stall && stallMs == 0) reply = ExecuteReply::Ack;
  reply_ = reply;
  stallMs_ = reply == ExecuteReply::Stall ? stallMs : 0;
}

std::optional<Change> Radio::TakeChangeAfterRequest(std::string_view item) {
  auto change = changesAfterRequest_.find(item);
  if (change == changesAfterRequest_.end()) return std::nullopt;
  Change due{change->first, change->second};
  changesAfterRequest_.erase(change);
  return due;
}

}  // namespace tools::hrd_sim
