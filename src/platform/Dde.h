// DDE as a source (topics under the program's service name, their items and EXECUTEs)
// and as a client (conversations with other programs, hot links and EXECUTEs).
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace bridge::platform {

/// How a topic answers an EXECUTE: accepted (positive acknowledgement) or refused; or held,
/// for a command that must wait on another program (see `TopicHandler::OnHeldExecute`).
enum class ExecuteAnswer { Accept, Refuse, Hold };

/// What the program serves on one topic.
class TopicHandler {
 public:
  virtual ~TopicHandler() = default;
  /// Handles one EXECUTE string inside the DDE layer's callback; never throws. No
  /// synchronous DDE transaction may start there (Windows refuses one started from a
  /// callback), so a command that needs one answers Hold.
  virtual ExecuteAnswer OnExecute(std::string_view command) = 0;
  /// Handles an EXECUTE that `OnExecute` held, from the message loop, where it may wait on
  /// other programs; its answer (Accept or Refuse) is the one the client gets, and the
  /// client's next transaction on that conversation waits for it. Never throws.
  virtual ExecuteAnswer OnHeldExecute(std::string_view command) = 0;
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

/// One client conversation with a service and topic, shared by every link to them.
class DdeConversation {
 public:
  virtual ~DdeConversation() = default;
  /// Whether the partner still serves the conversation; a partner that ended or vanished
  /// without a word counts as gone, and a gone conversation never comes back.
  virtual bool Alive() = 0;
  /// Starts a hot advise loop on `item`: `sink` gets the current value at once and every
  /// later one. Throws Failure(DdeRefused) when refused, Failure(DdeTimeout) on time-out.
  virtual void StartHotLink(const std::string& item, std::function<void(const std::string&)> sink) = 0;
  /// Ends the advise loop on `item`, if any; never throws.
  virtual void StopHotLink(const std::string& item) = 0;
  /// Sends an EXECUTE and waits for the answer. Throws Failure(DdeRefused) when refused,
  /// Failure(DdeTimeout) on time-out, Failure(DdeNoChannel) when the conversation is gone.
  virtual void Execute(std::string_view command) = 0;
};

/// The program's DDE client.
class DdeClient {
 public:
  virtual ~DdeClient() = default;
  /// A conversation with `service` and `topic`: the open one when there is one, else a new
  /// one. Throws Failure(DdeNoResponse) when no server answers, Failure(PermissionDenied)
  /// when none answers and a window refused to be asked (a program running at a higher
  /// integrity level, as administrator: its service, if any, is out of reach).
  virtual std::shared_ptr<DdeConversation> Connect(const std::string& service, const std::string& topic) = 0;
  /// Whether a synchronous transaction is waiting for its answer. Meanwhile the DDE layer
  /// may dispatch the thread's messages (Windows' DDE runs a modal loop): timers, posted
  /// messages, a close of the window.
  virtual bool Waiting() const = 0;
  /// Runs `listener` whenever a DDE server registers a service name, with that name. The
  /// listener runs inside the DDE layer: it must defer any DDE work of its own.
  virtual void OnServiceRegistered(std::function<void(const std::string&)> listener) = 0;
};

}  // namespace bridge::platform
