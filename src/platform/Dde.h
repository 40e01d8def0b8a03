// DDE as a source: topics under the program's service name, their items and EXECUTEs.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace bridge::platform {

/// How a topic answers an EXECUTE: accepted (positive acknowledgement) or refused.
enum class ExecuteAnswer { Accept, Refuse };

/// What the program serves on one topic.
class TopicHandler {
 public:
  virtual ~TopicHandler() = default;
  /// Handles one EXECUTE string; never throws.
  virtual ExecuteAnswer OnExecute(std::string_view command) = 0;
  /// The item's current value, or nothing when there is no such item; never throws.
  virtual std::optional<std::string> OnRequest(std::string_view item) = 0;
};

/// The program's DDE server: one service name, any number of topics.
class DdeServer {
 public:
  virtual ~DdeServer() = default;
  /// Starts answering conversations on `topic`. Throws Failure on error.
  virtual void RegisterTopic(const std::string& topic, TopicHandler& handler) = 0;
  /// Stops answering on `topic` and ends its conversations and links.
  virtual void UnregisterTopic(const std::string& topic) = 0;
  /// Tells every client linked to the item that its value changed.
  virtual void ItemChanged(const std::string& topic, const std::string& item) = 0;
};

}  // namespace bridge::platform
