// The raw DDE conversation.
#include "RawDdeConversation.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstring>

namespace tools::suite_client {

RawDdeConversation::RawDdeConversation() {
  HINSTANCE module = GetModuleHandleA(nullptr);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = &RawDdeConversation::WindowProc;
  windowClass.hInstance = module;
  windowClass.lpszClassName = kClassName;
  // An ANSI window class: DDEML servers hand text to an ANSI window's conversation as is.
  RegisterClassExA(&windowClass);  // fails harmlessly when already registered
  // A hidden top-level window, like a form's: servers answer the initiate broadcast to it.
  window_ = CreateWindowExA(0, kClassName, "suite_client raw DDE", WS_POPUP, 0, 0, 0, 0,
                            nullptr, nullptr, module, this);
  if (window_ == nullptr) {
    PrintError("cannot create the DDE window (error %lu)", GetLastError());
  }
}

RawDdeConversation::~RawDdeConversation() {
  Terminate(kTerminateWaitMs);
  if (window_ != nullptr) DestroyWindow(window_);
}

bool RawDdeConversation::Connect(const std::string& service, const std::string& topic) {
  ATOM serviceAtom = AddAtom(service);
  ATOM topicAtom = AddAtom(topic);
  if (serviceAtom != 0 && topicAtom != 0) {
    initiating_ = true;
    SendMessageTimeoutA(HWND_BROADCAST, WM_DDE_INITIATE, reinterpret_cast<WPARAM>(window_),
                        MAKELPARAM(serviceAtom, topicAtom), SMTO_ABORTIFHUNG,
                        kInitiateTimeoutMs, nullptr);
    initiating_ = false;
    if (partner_ == nullptr) problem_ = "no server acknowledged WM_DDE_INITIATE";
  }
  if (serviceAtom != 0) GlobalDeleteAtom(serviceAtom);
  if (topicAtom != 0) GlobalDeleteAtom(topicAtom);
  return partner_ != nullptr;
}

std::optional<std::string> RawDdeConversation::Request(const std::string& item, DWORD timeoutMs,
                                   TransactionResult& result) {
  ATOM atom = AddAtom(item);
  Begin(Awaiting::Data, item, nullptr);
  if (atom == 0 || !Post(WM_DDE_REQUEST, PackDDElParam(WM_DDE_REQUEST, CF_TEXT, atom))) {
    if (atom != 0) GlobalDeleteAtom(atom);
    result = Abandon();
    return std::nullopt;
  }
  result = WaitForAnswer(timeoutMs);
  if (result != TransactionResult::Ok) return std::nullopt;
  return pending_.value;
}

TransactionResult RawDdeConversation::Execute(const std::string& command, DWORD timeoutMs) {
  if (!PostExecute(command)) return Abandon();
  return WaitForAnswer(timeoutMs);
}

bool RawDdeConversation::PostExecute(const std::string& command) {
  HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, command.size() + 1);
  char* text = block != nullptr ? static_cast<char*>(GlobalLock(block)) : nullptr;
  if (text == nullptr) {
    if (block != nullptr) GlobalFree(block);
    problem_ = "out of global memory";
    return false;
  }
  std::memcpy(text, command.c_str(), command.size() + 1);
  GlobalUnlock(block);
  Begin(Awaiting::ExecuteAck, {}, block);
  LPARAM lParam = PackDDElParam(WM_DDE_EXECUTE, 0, reinterpret_cast<UINT_PTR>(block));
  if (!Post(WM_DDE_EXECUTE, lParam)) {
    GlobalFree(block);
    return false;
  }
  return true;
}

TransactionResult RawDdeConversation::StartHotAdvise(const std::string& item, DWORD timeoutMs) {
  HGLOBAL options = GlobalAlloc(GMEM_MOVEABLE | GMEM_DDESHARE, sizeof(DDEADVISE));
  auto* advise = options != nullptr ? static_cast<DDEADVISE*>(GlobalLock(options)) : nullptr;
  if (advise == nullptr) {
    if (options != nullptr) GlobalFree(options);
    problem_ = "out of global memory";
    return TransactionResult::Failed;
  }
  *advise = DDEADVISE{};
  advise->fDeferUpd = 0;
  advise->fAckReq = 1;
  advise->cfFormat = CF_TEXT;
  GlobalUnlock(options);
  ATOM atom = AddAtom(item);
  Begin(Awaiting::AdviseAck, item, options);
  if (atom == 0 || !Post(WM_DDE_ADVISE, PackDDElParam(WM_DDE_ADVISE,
                                                      reinterpret_cast<UINT_PTR>(options),
                                                      atom))) {
    if (atom != 0) GlobalDeleteAtom(atom);
    GlobalFree(options);
    return Abandon();
  }
  return WaitForAnswer(timeoutMs);
}

void RawDdeConversation::StopAdvise(const std::string& item, DWORD timeoutMs) {
  if (!PartnerAlive()) return;
  ATOM atom = AddAtom(item);
  Begin(Awaiting::UnadviseAck, item, nullptr);
  if (atom == 0 || !Post(WM_DDE_UNADVISE, PackDDElParam(WM_DDE_UNADVISE, CF_TEXT, atom))) {
    if (atom != 0) GlobalDeleteAtom(atom);
    Abandon();
    return;
  }
  WaitForAnswer(timeoutMs);
}

bool RawDdeConversation::PartnerAlive() const {
  return partner_ != nullptr && !partnerTerminated_ && IsWindow(partner_);
}

void RawDdeConversation::Terminate(DWORD waitMs) {
  if (partner_ == nullptr) return;
  if (!terminateSent_) {
    terminateSent_ = true;
    PostMessageA(partner_, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
  }
  PumpMessagesUntil(GetTickCount64() + waitMs,
                    [this] { return partnerTerminated_ || !IsWindow(partner_); });
  partner_ = nullptr;
}

LRESULT CALLBACK RawDdeConversation::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    auto* create = reinterpret_cast<const CREATESTRUCTA*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA,
                      reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<RawDdeConversation*>(GetWindowLongPtrA(window, GWLP_USERDATA));
  if (self != nullptr) {
    HWND from = reinterpret_cast<HWND>(wParam);
    switch (message) {
      case WM_DDE_ACK: self->OnAck(from, lParam); return 0;
      case WM_DDE_DATA: self->OnData(from, lParam); return 0;
      case WM_DDE_TERMINATE: self->OnTerminate(from); return 0;
      default: break;  // our own WM_DDE_INITIATE comes back here too: not a server
    }
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

std::string RawDdeConversation::AtomName(ATOM atom) {
  char name[256] = {};
  if (atom != 0) GlobalGetAtomNameA(atom, name, sizeof(name));
  return name;
}

RawDdeConversation::DataBlock RawDdeConversation::ReadDataBlock(HGLOBAL block) {
  DataBlock data;
  if (block == nullptr) return data;
  const SIZE_T size = GlobalSize(block);
  const auto* dde = static_cast<const DDEDATA*>(GlobalLock(block));
  if (dde == nullptr) return data;
  constexpr size_t kHeader = offsetof(DDEDATA, Value);
  if (size >= kHeader) {
    data.valid = true;
    data.response = dde->fResponse;
    data.release = dde->fRelease;
    data.ackRequested = dde->fAckReq;
    data.format = static_cast<USHORT>(dde->cfFormat);
    const char* text = reinterpret_cast<const char*>(dde->Value);
    data.text.assign(text, strnlen(text, size - kHeader));
  }
  GlobalUnlock(block);
  return data;
}

void RawDdeConversation::Begin(Awaiting what, const std::string& item, HGLOBAL memory) {
  pending_ = Pending{};
  pending_.what = what;
  pending_.item = item;
  pending_.memory = memory;
}

TransactionResult RawDdeConversation::Abandon() {
  pending_.what = Awaiting::Nothing;
  return TransactionResult::Failed;
}

ATOM RawDdeConversation::AddAtom(const std::string& text) {
  ATOM atom = GlobalAddAtomA(text.c_str());
  if (atom == 0) problem_ = "cannot create an atom for \"" + text + "\"";
  return atom;
}

bool RawDdeConversation::Post(UINT message, LPARAM lParam) {
  if (partner_ != nullptr && !terminateSent_ &&
      PostMessageA(partner_, message, reinterpret_cast<WPARAM>(window_), lParam)) {
    return true;
  }
  FreeDDElParam(message, lParam);
  problem_ = "cannot post to the server's window";
  return false;
}

TransactionResult RawDdeConversation::WaitForAnswer(DWORD timeoutMs) {
  PumpMessagesUntil(GetTickCount64() + timeoutMs, [this] {
    return pending_.answered || !PartnerAlive() ||
           (pending_.valueIn && GetTickCount64() >= pending_.valueAt + kTrailingAckWaitMs);
  });
  TransactionResult result;
  if (pending_.answered || pending_.valueIn) {
    result = pending_.result;
  } else if (!PartnerAlive()) {
    problem_ = "the server ended the conversation";
    result = TransactionResult::Failed;
  } else {
    problem_ = "no answer within " + std::to_string(timeoutMs) + " ms";
    // An EXECUTE's block comes back with a late ACK; keep track of it to free it then.
    // (A late-refused DDEADVISE block is simply left to the end of the process.)
    if (pending_.what == Awaiting::ExecuteAck) lateCommands_.push_back(pending_.memory);
    result = TransactionResult::Timeout;
  }
  pending_.what = Awaiting::Nothing;
  return result;
}

void RawDdeConversation::OnAck(HWND from, LPARAM lParam) {
  if (initiating_) {
    // The answer to WM_DDE_INITIATE is sent, not posted, and holds two plain atoms.
    GlobalDeleteAtom(LOWORD(lParam));
    GlobalDeleteAtom(HIWORD(lParam));
    if (partner_ == nullptr) {
      partner_ = from;
    } else {
      PostMessageA(from, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
    }
    return;
  }
  UINT_PTR status = 0;
  UINT_PTR value = 0;  // an item atom, or the command block of an EXECUTE
  UnpackDDElParam(WM_DDE_ACK, lParam, &status, &value);
  FreeDDElParam(WM_DDE_ACK, lParam);

  if (from != partner_ || pending_.what == Awaiting::Nothing || pending_.answered) {
    // Nobody waits for this one (it comes after a time-out or after the answer): only
    // tidy up.
    if (from == partner_ && (LOWORD(status) & kAckBit) == 0)
      PrintError("a refusal came for nothing waiting (DDEACK 0x%04x)", static_cast<unsigned>(LOWORD(status)));
    auto late = std::find(lateCommands_.begin(), lateCommands_.end(),
                          reinterpret_cast<HGLOBAL>(value));
    if (late != lateCommands_.end()) {
      GlobalFree(*late);
      lateCommands_.erase(late);
    } else if (IsAtom(value)) {
      GlobalDeleteAtom(static_cast<ATOM>(value));
    }
    return;
  }

  const WORD bits = LOWORD(status);
  const bool positive = (bits & kAckBit) != 0;
  if (pending_.what == Awaiting::Data && positive) {
    // Not the answer: a REQUEST is answered by WM_DDE_DATA; this is the ACK a DDEML server
    // under Wine follows that data with. Its atom is the data's, deleted with the data
    // already: deleting it again would take the item's name from other programs.
    if (pending_.valueIn) pending_.answered = true;
    return;
  }
  char text[80];
  std::snprintf(text, sizeof(text), "the server answered %s (DDEACK 0x%04x)",
                positive ? "ACK" : ((bits & kBusyBit) != 0 ? "busy" : "NACK"), bits);
  problem_ = text;
  pending_.result = positive ? TransactionResult::Ok : TransactionResult::Refused;

  switch (pending_.what) {
    case Awaiting::ExecuteAck:
      if (value != reinterpret_cast<UINT_PTR>(pending_.memory)) {
        PrintError("the EXECUTE's ACK brought back another block than the one sent");
      }
      GlobalFree(pending_.memory);
      pending_.memory = nullptr;
      break;
    case Awaiting::AdviseAck:
      if (!positive) GlobalFree(pending_.memory);
      pending_.memory = nullptr;
      if (IsAtom(value)) GlobalDeleteAtom(static_cast<ATOM>(value));
      break;
    case Awaiting::Data:  // the REQUEST refused
    case Awaiting::UnadviseAck:
    case Awaiting::Nothing:
      if (IsAtom(value)) GlobalDeleteAtom(static_cast<ATOM>(value));
      break;
  }
  pending_.answered = true;
}

void RawDdeConversation::OnData(HWND from, LPARAM lParam) {
  UINT_PTR memory = 0;
  UINT_PTR atomValue = 0;
  UnpackDDElParam(WM_DDE_DATA, lParam, &memory, &atomValue);
  FreeDDElParam(WM_DDE_DATA, lParam);
  HGLOBAL block = reinterpret_cast<HGLOBAL>(memory);
  ATOM atom = static_cast<ATOM>(atomValue);
  DataBlock data = ReadDataBlock(block);

  // After our WM_DDE_TERMINATE nothing is answered any more; data is only freed.
  const bool talking = from == partner_ && !terminateSent_;
  const bool accepted = talking && data.valid && data.format == CF_TEXT;
  if (accepted) {
    const std::string item = AtomName(atom);
    if (data.response) {
      if (pending_.what == Awaiting::Data && _stricmp(item.c_str(), pending_.item.c_str()) == 0) {
        pending_.value = data.text;
        pending_.result = TransactionResult::Ok;
        pending_.valueIn = true;
        pending_.valueAt = GetTickCount64();
        pending_.answered = !serverAcksRequests_;
      }
      // else: the answer to a REQUEST that timed out; nobody wants it any more.
    } else if (adviseHandler_) {
      adviseHandler_(item, data.text);
    }
  }

  bool refused = false;
  if (talking && data.ackRequested) {
    // The ACK reuses the item atom of the data message.
    LPARAM ack = PackDDElParam(WM_DDE_ACK, accepted ? kAckBit : 0, atom);
    if (!PostMessageA(from, WM_DDE_ACK, reinterpret_cast<WPARAM>(window_), ack)) {
      FreeDDElParam(WM_DDE_ACK, ack);
      GlobalDeleteAtom(atom);
    }
    refused = !accepted;
  } else if (atom != 0) {
    GlobalDeleteAtom(atom);
  }
  // On a NACK the block stays the server's; otherwise fRelease says it is ours to free.
  if (block != nullptr && data.valid && data.release && !refused) GlobalFree(block);
}

void RawDdeConversation::OnTerminate(HWND from) {
  // A server turned away after the initiate says goodbye too: not our partner.
  if (from != partner_ || partner_ == nullptr) return;
  partnerTerminated_ = true;
  if (!terminateSent_) {
    terminateSent_ = true;
    PostMessageA(partner_, WM_DDE_TERMINATE, reinterpret_cast<WPARAM>(window_), 0);
  }
  if (pending_.what != Awaiting::Nothing && !pending_.answered) {
    problem_ = "the server ended the conversation";
    pending_.result = TransactionResult::Failed;
    pending_.answered = true;
  }
}

}  // namespace tools::suite_client
