// A text box or label used as the client end of a DDE conversation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Dde.h"

namespace bridge::common {

/// Link modes of a link box.
enum class LinkMode : std::int16_t { None = 0, Automatic = 1 };

/// The link fields of a text box or label: link topic ("service|topic"), link item and link
/// mode. In automatic mode every new value of the item goes to the box's sink, as it would
/// land in the box's text.
class LinkBox {
 public:
  using Sink = std::function<void(const std::string&)>;
  LinkBox(platform::DdeClient& client, Sink sink) : client_(client), sink_(std::move(sink)) {}
  ~LinkBox();
  LinkBox(const LinkBox&) = delete;
  LinkBox& operator=(const LinkBox&) = delete;

  void SetLinkTopic(std::string_view topic) { topic_ = topic; }
  void SetLinkItem(std::string_view item) { item_ = item; }
  /// Automatic opens the conversation (or keeps the one already open for the same topic and
  /// item) with a hot link that brings the current value; None ends the link. Throws
  /// Failure(DdeNoResponse) when no server answers and Failure(DdeRefused) when the item is
  /// refused; the mode is then None.
  void SetLinkMode(LinkMode mode);
  /// The mode; a link whose partner has gone reads None from then on.
  LinkMode Mode();
  /// Sends an EXECUTE over the open link and waits for the answer. Throws
  /// Failure(DdeNoChannel) without a link, or the failure of the transaction.
  void LinkExecute(std::string_view command);

 private:
  void Close();

  platform::DdeClient& client_;
  Sink sink_;
  std::string topic_;
  std::string item_;
  std::shared_ptr<platform::DdeConversation> conversation_;
  std::string linkedTopic_;
  std::string linkedItem_;
  /// Tells a hot-link value that arrives after its link ended to go nowhere.
  std::shared_ptr<bool> linkAlive_;
};

}  // namespace bridge::common
