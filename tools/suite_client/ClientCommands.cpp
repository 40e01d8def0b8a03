// The commands that talk DDE as a client: request, execute, watch (through DDEML, or the
// message protocol with --raw) and burst.
#include <windows.h>

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ClientSupport.h"
#include "Commands.h"
#include "DdemlClient.h"
#include "RawDdeConversation.h"

namespace tools::suite_client {

namespace {

// Starts the client and connects; prints NOCONNECT / reports and returns the exit code on
// error. `Client` is DdeClient or RawDdeConversation.
template <typename Client>
int ConnectOrReport(Client& client, const std::string& service, const std::string& topic,
                    bool printNoConnect) {
  if (!client.ready()) return kFailure;
  if (client.Connect(service, topic)) return kOk;
  if (printNoConnect) PrintLine("NOCONNECT");
  PrintError("cannot connect to %s|%s (%s)", service.c_str(), topic.c_str(),
             client.ErrorDetail().c_str());
  return kNoConnect;
}

// One item: its value as it came. Several: ITEM|VALUE for each, in one line each, over one
// conversation; the first failure ends the command.
template <typename Client>
int Request(const Args& args) {
  Client client;
  if (int rc = ConnectOrReport(client, args[0], args[1], false); rc != kOk) return rc;
  const bool several = args.size() > 3;
  for (size_t i = 2; i < args.size(); ++i) {
    TransactionResult result;
    std::optional<std::string> value = client.Request(args[i], kDefaultTimeoutMs, result);
    if (!value) {
      PrintError("request %s failed (%s)", args[i].c_str(), client.ErrorDetail().c_str());
      return result == TransactionResult::Timeout ? kTimeout : kRefused;
    }
    PrintLine(several ? args[i] + "|" + OneLine(*value) : *value);
  }
  return kOk;
}

// Holds a reference of its own to ITEM's global atom, asks for ITEM COUNT times over one
// conversation and prints KEPT when its reference is still there, RELEASED when the
// exchanges took it away (a client deleting an atom it was never given).
template <typename Client>
int KeepName(const Args& args, DWORD count) {
  const std::string& item = args[2];
  const ATOM own = GlobalAddAtomA(item.c_str());
  if (own == 0) {
    PrintError("cannot create an atom for \"%s\"", item.c_str());
    return kFailure;
  }
  int rc = kOk;
  {
    Client client;
    rc = ConnectOrReport(client, args[0], args[1], false);
    for (DWORD i = 0; rc == kOk && i < count; ++i) {
      TransactionResult result;
      if (!client.Request(item, kDefaultTimeoutMs, result)) {
        PrintError("request %s failed (%s)", item.c_str(), client.ErrorDetail().c_str());
        rc = kRefused;
      }
    }
    // Whatever else the server says about them arrives meanwhile.
    PumpMessagesUntil(GetTickCount64() + 300, [] { return false; });
  }
  if (rc != kOk) return rc;
  const bool kept = GlobalFindAtomA(item.c_str()) == own;
  if (kept) GlobalDeleteAtom(own);
  PrintLine(kept ? "KEPT" : "RELEASED");
  return kept ? kOk : kFailure;
}

// The current UTC time as "2026-12-06T21:40:01.123Z".
std::string UtcStamp() {
  SYSTEMTIME now;
  GetSystemTime(&now);
  char text[32];
  std::snprintf(text, sizeof(text), "%04u-%02u-%02uT%02u:%02u:%02u.%03uZ", now.wYear, now.wMonth, now.wDay,
                now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
  return text;
}

template <typename Client>
int Execute(const Args& args, DWORD timeout, bool stamp) {
  Client client;
  if (int rc = ConnectOrReport(client, args[0], args[1], true); rc != kOk) return rc;
  const TransactionResult result = client.Execute(args[2], timeout);
  const std::string when = stamp ? " " + UtcStamp() : "";
  switch (result) {
    case TransactionResult::Ok:
      PrintLine("ACK" + when);
      return kOk;
    case TransactionResult::Refused:
      PrintLine("NACK" + when);
      return kRefused;
    case TransactionResult::Timeout:
      PrintLine("TIMEOUT" + when);
      return kTimeout;
    case TransactionResult::Failed:
      break;
  }
  PrintLine("FAILED");
  PrintError("execute failed (%s)", client.ErrorDetail().c_str());
  return kFailure;
}

// Prints the current value, then every value a hot advise loop brings, for `seconds`.
// The first line appears once the hot link is up, so a script may make changes as soon as
// it has read it. With `stamp` each line starts with the UTC time the value came and a
// blank (the value may be empty or hold blanks). Exits kFailure early when the server goes
// away.
template <typename Client>
int Watch(const Args& args, DWORD seconds, bool stamp) {
  const std::string& item = args[2];
  Client client;
  if (int rc = ConnectOrReport(client, args[0], args[1], false); rc != kOk) return rc;

  // Read the current value before the advise loop starts: a synchronous transaction can
  // be cut short when advise data arrives on the same conversation meanwhile.
  TransactionResult result;
  std::optional<std::string> current = client.Request(item, kDefaultTimeoutMs, result);
  if (!current) {
    PrintError("request %s failed (%s)", item.c_str(), client.ErrorDetail().c_str());
    return result == TransactionResult::Timeout ? kTimeout : kRefused;
  }

  // Values advised before the link is confirmed wait until the current value is out.
  // A value that comes before the link is confirmed keeps the time it came.
  const auto stamped = [stamp](const std::string& value) {
    return stamp ? UtcStamp() + " " + OneLine(value) : OneLine(value);
  };
  bool linked = false;
  std::vector<std::string> early;
  client.SetAdviseHandler([&](const std::string& adviseItem, const std::string& value) {
    // Only the one item is linked: a value under another name is the server's fault.
    if (_stricmp(adviseItem.c_str(), item.c_str()) != 0) {
      PrintError("a value for \"%s\" came on the link on %s: %s", adviseItem.c_str(), item.c_str(),
                 OneLine(value).c_str());
      return;
    }
    if (linked) PrintLine(stamped(value));
    else early.push_back(stamped(value));
  });
  result = client.StartHotAdvise(item, kDefaultTimeoutMs);
  if (result != TransactionResult::Ok) {
    PrintError("advise start on %s failed (%s)", item.c_str(), client.ErrorDetail().c_str());
    return result == TransactionResult::Timeout ? kTimeout : kRefused;
  }
  linked = true;
  PrintLine(stamped(*current));
  for (const std::string& line : early) PrintLine(line);

  bool lost = false;
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(seconds) * 1000;
  PumpMessagesUntil(deadline, [&] { return lost = !client.PartnerAlive(); });
  if (lost) {
    PrintError("the server ended the conversation");
    return kFailure;
  }
  client.StopAdvise(item, kDefaultTimeoutMs);
  return kOk;
}

}  // namespace

int RunRequest(const Args& args, const Options& options) {
  return options.raw ? Request<RawDdeConversation>(args) : Request<DdeClient>(args);
}

int RunExecute(const Args& args, const Options& options) {
  DWORD timeout = kDefaultTimeoutMs;
  if (args.size() > 3) {
    std::optional<DWORD> parsed = ParseUnsigned(args[3].c_str());
    if (!parsed) {
      PrintError("bad timeout \"%s\"", args[3].c_str());
      return kUsage;
    }
    timeout = *parsed;
  }
  return options.raw ? Execute<RawDdeConversation>(args, timeout, options.stamp)
                     : Execute<DdeClient>(args, timeout, options.stamp);
}

int RunKeepName(const Args& args, const Options& options) {
  std::optional<DWORD> count = ParseUnsigned(args[3].c_str());
  if (!count) {
    PrintError("bad count \"%s\"", args[3].c_str());
    return kUsage;
  }
  return options.raw ? KeepName<RawDdeConversation>(args, *count) : KeepName<DdeClient>(args, *count);
}

int RunWatch(const Args& args, const Options& options) {
  std::optional<DWORD> seconds = ParseUnsigned(args[3].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[3].c_str());
    return kUsage;
  }
  return options.raw ? Watch<RawDdeConversation>(args, *seconds, options.stamp)
                     : Watch<DdeClient>(args, *seconds, options.stamp);
}

// Opens one raw conversation per command first, then posts the commands DELAY_MS apart
// without waiting in between, and prints each one's answer in order: requests that reach
// the server back to back, as from several programs at once.
int RunBurst(const Args& args, const Options& /*options*/) {
  std::optional<DWORD> delay = ParseUnsigned(args[2].c_str());
  if (!delay) {
    PrintError("bad delay \"%s\"", args[2].c_str());
    return kUsage;
  }
  std::vector<std::unique_ptr<RawDdeConversation>> conversations;
  for (size_t i = 3; i < args.size(); ++i) {
    conversations.push_back(std::make_unique<RawDdeConversation>());
    if (int rc = ConnectOrReport(*conversations.back(), args[0], args[1], true); rc != kOk) return rc;
  }
  for (size_t i = 0; i < conversations.size(); ++i) {
    if (i > 0 && *delay > 0) PumpMessagesUntil(GetTickCount64() + *delay, [] { return false; });
    if (!conversations[i]->PostExecute(args[i + 3])) {
      PrintLine("FAILED");
      return kFailure;
    }
  }
  int exitCode = kOk;
  for (auto& conversation : conversations) {
    switch (conversation->Answer(kDefaultTimeoutMs)) {
      case TransactionResult::Ok:
        PrintLine("ACK");
        break;
      case TransactionResult::Refused:
        PrintLine("NACK");
        exitCode = kRefused;
        break;
      case TransactionResult::Timeout:
        PrintLine("TIMEOUT");
        exitCode = kTimeout;
        break;
      case TransactionResult::Failed:
        PrintLine("FAILED");
        exitCode = kFailure;
        break;
    }
  }
  return exitCode;
}

}  // namespace tools::suite_client
