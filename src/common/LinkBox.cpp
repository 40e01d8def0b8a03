#include "common/LinkBox.h"

#include "common/ErrorTrap.h"

namespace bridge::common {

LinkBox::~LinkBox() { Close(); }

void LinkBox::Close() {
  if (linkAlive_) *linkAlive_ = false;
  linkAlive_.reset();
  if (conversation_) conversation_->StopHotLink(linkedItem_);
  conversation_.reset();
  linkedTopic_.clear();
  linkedItem_.clear();
}

void LinkBox::SetLinkMode(LinkMode mode) {
  if (mode == LinkMode::None) {
    Close();
    return;
  }
  if (Mode() == LinkMode::Automatic && linkedTopic_ == topic_ && linkedItem_ == item_) return;
  Close();

  const std::size_t bar = topic_.find('|');
  if (bar == std::string::npos) throw Failure(RunError::DdeNoResponse);
  auto conversation = client_.Connect(topic_.substr(0, bar), topic_.substr(bar + 1));
  auto alive = std::make_shared<bool>(true);
  conversation->StartHotLink(item_, [this, alive](const std::string& value) {
    if (*alive && sink_) sink_(value);
  });
  conversation_ = std::move(conversation);
  linkAlive_ = std::move(alive);
  linkedTopic_ = topic_;
  linkedItem_ = item_;
}

LinkMode LinkBox::Mode() {
  if (conversation_ && !conversation_->Alive()) Close();
  return conversation_ ? LinkMode::Automatic : LinkMode::None;
}

void LinkBox::LinkExecute(std::string_view command) {
  if (Mode() == LinkMode::None) throw Failure(RunError::DdeNoChannel);
  // Held for the transaction: while it waits, the loop may run code that ends this link.
  const auto conversation = conversation_;
  conversation->Execute(command);
}

}  // namespace bridge::common
