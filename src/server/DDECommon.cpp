#include "server/DDECommon.h"

#include "base/Text.h"

namespace bridge::server {
namespace {

// Positions within the record are 16-bit character counts from 1, as the suite's programs
// have always parsed these records.
constexpr std::int32_t kLastPosition = 32767;

/// 1-based position of `what` in `text` at or after `from`, 0 when absent.
std::int32_t Find(const std::string& text, char what, std::int32_t from) {
  const std::size_t found = text.find(what, static_cast<std::size_t>(from - 1));
  if (found == std::string::npos) return 0;
  const auto position = static_cast<std::int32_t>(found + 1);
  if (position > kLastPosition) throw common::Failure(common::RunError::Overflow);
  return position;
}

bool IsEndOfRecord(const std::string& rest, std::int32_t at) {
  return base::EqualNoCase(rest.substr(static_cast<std::size_t>(at - 1), 5), "<eor>");
}

}  // namespace

void DDECommon::ParseRecord(std::string record) {
  count_ = 0;
  common::Trap(common_, "DDECommon.ParseRecord", [&] {
    std::string rest = std::move(record);
    while (!rest.empty()) {
      const std::int32_t open = Find(rest, '<', 1);
      if (open == 0 || IsEndOfRecord(rest, open)) return;
      const std::int32_t close = Find(rest, '>', open + 1);
      if (close == 0) return;
      const std::string tag = rest.substr(static_cast<std::size_t>(open), static_cast<std::size_t>(close - open - 1));
      const std::size_t colon = tag.find(':');
      if (colon == std::string::npos) return;

      std::int32_t length = 0;
      common::Ignore([&] { length = common::ToInteger16(tag.substr(colon + 1), common_.Format()); });
      const std::string value =
          length > 0 ? rest.substr(static_cast<std::size_t>(close), static_cast<std::size_t>(length)) : std::string();

      if (++count_ > kTokenSlots) throw common::Failure(common::RunError::SubscriptOutOfRange);
      tokens_[static_cast<std::size_t>(count_)] = Token{tag.substr(0, colon), value};

      // The scan goes on after the value. A declared length that runs past the end, or a
      // negative one that points before the start, ends the parse; a negative one that
      // points back into the text makes the scan resume there, which ends at the token limit.
      const std::int32_t start = close + length + 1;
      const std::int32_t remaining = static_cast<std::int32_t>(rest.size()) - close - length;
      if (start < 1 || start > kLastPosition || remaining < 0) return;
      rest = rest.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(remaining));
    }
  });
}

Token DDECommon::GetToken(std::int16_t index) {
  return common::TrapOr(common_, "DDECommon.GetToken", Token{}, [&] {
    if (index > count_) return Token{};
    if (index < 1 || index > kTokenSlots) throw common::Failure(common::RunError::SubscriptOutOfRange);
    return tokens_[static_cast<std::size_t>(index)];
  });
}

void DDECommon::Activate(platform::Window& window) {
  common::Trap(common_, "DDECommon.Activate", [&] {
    window.SetState(platform::WindowState::Normal);
    window.BringToFront();
  });
}

void DDECommon::Iconify() {
  common::Trap(common_, "DDECommon.Iconify", [&] {
    // The forms are counted once, at the start.
    const std::vector<platform::Window*> forms = ui_.LoadedForms();
    for (platform::Window* form : forms) form->SetState(platform::WindowState::Minimized);
  });
}

}  // namespace bridge::server
