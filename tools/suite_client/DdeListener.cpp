// The listener and the `listen` command.
#include "DdeListener.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

#include "Commands.h"
#include "DdemlClient.h"

namespace tools::suite_client {

bool DdeListener::Start(const std::vector<std::string>& names) {
  if (current_ != nullptr) return false;
  UINT rc = DdeInitializeA(&instance_, &DdeListener::Callback,
                           APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS |
                               CBF_SKIP_UNREGISTRATIONS,
                           0);
  if (rc != DMLERR_NO_ERROR) {
    PrintError("DdeInitializeA failed (DMLERR 0x%x)", rc);
    instance_ = 0;
    return false;
  }
  current_ = this;
  topic_ = DdeCreateStringHandleA(instance_, kTopic, CP_WINANSI);
  item_ = DdeCreateStringHandleA(instance_, kItem, CP_WINANSI);
  if (topic_ == nullptr || item_ == nullptr) {
    PrintError("cannot create string handles (DMLERR 0x%x)", DdeGetLastError(instance_));
    return false;
  }
  for (const std::string& name : names) {
    HSZ service = DdeCreateStringHandleA(instance_, name.c_str(), CP_WINANSI);
    if (service == nullptr) {
      PrintError("cannot create a string handle for %s", name.c_str());
      return false;
    }
    services_.push_back({name, service});
    if (DdeNameService(instance_, service, nullptr, DNS_REGISTER) == nullptr) {
      PrintError("cannot register service %s (DMLERR 0x%x)", name.c_str(),
                 DdeGetLastError(instance_));
      return false;
    }
  }
  return true;
}

void DdeListener::Stop() {
  if (instance_ == 0) return;
  DdeNameService(instance_, nullptr, nullptr, DNS_UNREGISTER);
  for (const Service& service : services_) DdeFreeStringHandle(instance_, service.handle);
  services_.clear();
  if (topic_ != nullptr) DdeFreeStringHandle(instance_, topic_);
  if (item_ != nullptr) DdeFreeStringHandle(instance_, item_);
  topic_ = item_ = nullptr;
  DdeUninitialize(instance_);
  instance_ = 0;
  if (current_ == this) current_ = nullptr;
}

bool DdeListener::Same(HSZ a, HSZ b) {
  return a != nullptr && b != nullptr && DdeCmpStringHandles(a, b) == 0;
}

const DdeListener::Service* DdeListener::ServiceFor(HSZ handle) const {
  for (const Service& service : services_) {
    if (Same(service.handle, handle)) return &service;
  }
  return nullptr;
}

std::string DdeListener::QueryString(HSZ hsz) const {
  char buffer[256] = {};
  if (hsz != nullptr) DdeQueryStringA(instance_, hsz, buffer, sizeof(buffer), CP_WINANSI);
  return buffer;
}

std::string DdeListener::NameOf(HCONV conversation) const {
  auto known = conversations_.find(conversation);
  if (known != conversations_.end()) return known->second;
  CONVINFO info{};
  info.cb = sizeof(info);
  if (DdeQueryConvInfo(conversation, QID_SYNC, &info) != 0) {
    for (HSZ service : {info.hszSvcPartner, info.hszServiceReq}) {
      if (const Service* found = ServiceFor(service)) return found->name;
    }
  }
  return "?";
}

HDDEDATA DdeListener::EmptyText() const {
  static const BYTE kEmpty[1] = {0};
  return DdeCreateDataHandle(instance_, const_cast<BYTE*>(kEmpty), sizeof(kEmpty), 0, item_,
                             CF_TEXT, 0);
}

HDDEDATA DdeListener::OnTransaction(UINT type, UINT format, HCONV conversation, HSZ hsz1, HSZ hsz2,
                       HDDEDATA data) {
  switch (type) {
    case XTYP_CONNECT: {  // hsz1 topic, hsz2 service; called inside WM_DDE_INITIATE
      const bool ours = Same(hsz1, topic_) && ServiceFor(hsz2) != nullptr;
      if (ours && initiateDelayMs_ != 0) Sleep(initiateDelayMs_);
      return Bool(ours);
    }
    case XTYP_CONNECT_CONFIRM: {
      const Service* service = ServiceFor(hsz2);
      std::string name = service != nullptr ? service->name : QueryString(hsz2);
      conversations_[conversation] = name;
      sink_(name, "CONNECT");
      return nullptr;
    }
    case XTYP_ADVSTART: {  // hsz2 item
      const bool ours = Same(hsz2, item_) && format == CF_TEXT;
      Report(conversation, "ADVSTART " + OneLine(QueryString(hsz2)) + (ours ? "" : " REFUSED"));
      return Bool(ours);
    }
    case XTYP_REQUEST: {  // answered quietly; only a request for something else shows
      const bool ours = Same(hsz2, item_) && format == CF_TEXT;
      if (!ours) Report(conversation, "REQUEST " + OneLine(QueryString(hsz2)) + " REFUSED");
      return ours ? EmptyText() : nullptr;
    }
    case XTYP_ADVREQ:  // only after DdePostAdvise, which this program never calls
      return Same(hsz2, item_) ? EmptyText() : nullptr;
    case XTYP_EXECUTE:  // `data` is lent by DDEML: read it, never free it
      if (holdExecute_) {
        // Blocked, the conversation's callbacks stay off: nothing ever answers it.
        Report(conversation, "EXECUTE " + OneLine(TextOf(data)) + " HELD");
        return CBR_BLOCK;
      }
      Report(conversation, "EXECUTE " + OneLine(TextOf(data)));
      return reinterpret_cast<HDDEDATA>(DDE_FACK);
    case XTYP_POKE:
      Report(conversation, "POKE " + OneLine(QueryString(hsz2)) + " REFUSED");
      return reinterpret_cast<HDDEDATA>(DDE_FNOTPROCESSED);
    case XTYP_DISCONNECT:
      Report(conversation, "DISCONNECT");
      conversations_.erase(conversation);
      return nullptr;
    default:
      return nullptr;
  }
}

HDDEDATA CALLBACK DdeListener::Callback(UINT type, UINT format, HCONV conversation, HSZ hsz1,
                                  HSZ hsz2, HDDEDATA data, ULONG_PTR /*data1*/,
                                  ULONG_PTR /*data2*/) {
  DdeListener* self = current_;
  if (self == nullptr) return nullptr;
  return self->OnTransaction(type, format, conversation, hsz1, hsz2, data);
}

namespace {

// Where `listen` writes: stdout, and a log file when one is given; each line flushed.
class EventLog {
 public:
  ~EventLog() {
    if (file_ != nullptr) std::fclose(file_);
  }

  bool OpenFile(const std::string& path) {
    file_ = std::fopen(path.c_str(), "ab");
    return file_ != nullptr;
  }

  void Line(const std::string& text) {
    PrintLine(text);
    if (file_ != nullptr) {
      std::fwrite(text.data(), 1, text.size(), file_);
      std::fputc('\n', file_);
      std::fflush(file_);
    }
  }

 private:
  FILE* file_ = nullptr;
};

}  // namespace

// Serves DDEClient under each NAME for SECONDS and prints what partners do.
int RunListen(const Args& allArgs, const Options& options) {
  // The options may stand anywhere among the arguments: no service name starts with "--".
  Args args = allArgs;
  DWORD initiateDelayMs = 0;
  auto option = std::find(args.begin(), args.end(), "--initiate-delay");
  if (option != args.end()) {
    std::optional<DWORD> ms = option + 1 != args.end() ? ParseUnsigned(option[1].c_str()) : std::nullopt;
    if (!ms) {
      PrintError("--initiate-delay wants milliseconds");
      return kUsage;
    }
    initiateDelayMs = *ms;
    args.erase(option, option + 2);
  }
  const auto hold = std::find(args.begin(), args.end(), "--hold-execute");
  const bool holdExecute = hold != args.end();
  if (holdExecute) args.erase(hold);
  if (args.size() < 2) {
    PrintError("listen wants SECONDS and at least one NAME");
    return kUsage;
  }
  std::optional<DWORD> seconds = ParseUnsigned(args[0].c_str());
  if (!seconds) {
    PrintError("bad number of seconds \"%s\"", args[0].c_str());
    return kUsage;
  }
  std::vector<std::string> names(args.begin() + 1, args.end());
  for (size_t i = 0; i < names.size(); ++i) {
    if (names[i].empty()) {
      PrintError("empty service name");
      return kUsage;
    }
    for (size_t j = 0; j < i; ++j) {
      if (_stricmp(names[i].c_str(), names[j].c_str()) == 0) {
        PrintError("service %s given twice", names[i].c_str());
        return kUsage;
      }
    }
  }

  EventLog log;
  if (!options.logFile.empty() && !log.OpenFile(options.logFile)) {
    PrintError("cannot open %s for appending", options.logFile.c_str());
    return kFailure;
  }
  DdeListener listener([&log](const std::string& name, const std::string& event) {
    log.Line(std::to_string(MillisSinceStart()) + " " + name + " " + event);
  });
  listener.SetInitiateDelay(initiateDelayMs);
  listener.SetHoldExecute(holdExecute);
  if (!listener.Start(names)) return kFailure;
  log.Line("READY");

  WatchStdinForQuit();
  ULONGLONG deadline = GetTickCount64() + static_cast<ULONGLONG>(*seconds) * 1000;
  PumpMessagesUntil(deadline, [] { return QuitRequested(); });
  listener.Stop();
  return kOk;
}

}  // namespace tools::suite_client
