// The Win32 DDE client against the Win32 DDE server, in one process: the server on a thread
// of its own with its own message loop, as another program would be, so that what it posts
// waits in the client's queue until the client's thread turns its loop.
#include <windows.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "base/Failure.h"
#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

constexpr UINT kRun = WM_APP + 10;

/// A program serving `Service|Topic` with one item, on a thread of its own.
class PeerProgram : public TopicHandler {
 public:
  explicit PeerProgram(std::string service) : service_(std::move(service)) {
    ready_ = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    thread_ = std::thread([this] { Loop(); });
    WaitForSingleObject(ready_, INFINITE);
  }
  ~PeerProgram() override {
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    CloseHandle(ready_);
  }

  /// Runs `work` on the peer's thread and waits until it has run.
  void Run(std::function<void()> work) {
    work_ = std::move(work);
    PostThreadMessageA(threadId_, kRun, 0, 0);
    WaitForSingleObject(ready_, INFINITE);
  }
  /// Sets the item and tells the links on it, on the peer's thread.
  void Publish(const std::string& value) {
    Run([&] {
      value_ = value;
      server_->ItemChanged("Topic", "Item");
    });
  }
  /// Ends the program's DDE, and with it every conversation, on the peer's thread.
  void StopServing() {
    Run([&] { server_.reset(); });
  }

  /// Each command sets the item to `value` and tells its links before it is acknowledged,
  /// as HRD does with "butn tx=on".
  void ChangeOnEachCommand(const std::string& value) {
    Run([&] { changeOnCommand_ = value; });
  }

  ExecuteAnswer OnExecute(std::string_view) override {
    if (!changeOnCommand_.empty()) {
      value_ = changeOnCommand_;
      server_->ItemChanged("Topic", "Item");
    }
    return ExecuteAnswer::Accept;
  }
  ExecuteAnswer OnHeldExecute(std::string_view) override { return ExecuteAnswer::Accept; }
  std::optional<std::string> OnRequest(std::string_view item) override {
    if (_stricmp(std::string(item).c_str(), "Item") != 0) return std::nullopt;
    return value_;
  }

 private:
  void Loop() {
    threadId_ = GetCurrentThreadId();
    server_ = std::make_unique<Win32DdeServer>(service_);
    server_->RegisterTopic("Topic", *this);
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue exists from here
    SetEvent(ready_);
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      if (message.message == kRun && !message.hwnd) {
        work_();
        SetEvent(ready_);
        continue;
      }
      DispatchMessageA(&message);
    }
    server_.reset();
  }

  std::string service_;
  std::string value_ = "0";
  std::string changeOnCommand_;
  std::unique_ptr<Win32DdeServer> server_;
  std::function<void()> work_;
  HANDLE ready_ = nullptr;
  DWORD threadId_ = 0;
  std::thread thread_;
};

/// Turns the client thread's loop for `milliseconds`.
void Pass(Win32Ui& ui, DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  for (;;) {
    ui.ProcessMessages();
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
  }
}

std::string UniqueService() { return "TavixPeer" + std::to_string(GetCurrentProcessId()); }

/// Bytes in use on the process heap, where GlobalAlloc and DDEML take their memory.
long long HeapBytesInUse() {
  HANDLE heap = GetProcessHeap();
  long long bytes = 0;
  PROCESS_HEAP_ENTRY entry{};
  HeapLock(heap);
  while (HeapWalk(heap, &entry))
    if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) bytes += static_cast<long long>(entry.cbData);
  HeapUnlock(heap);
  return bytes;
}

class Win32DdeClientTest : public ::testing::Test {
 protected:
  /// The conversation with the peer, said why when there is none.
  std::shared_ptr<DdeConversation> Connect() {
    try {
      return client.Connect(UniqueService(), "topic");
    } catch (const base::Failure& failure) {
      ADD_FAILURE() << "no conversation with the peer: error " << failure.Code();
      throw;
    }
  }
  /// The conversation with the peer, linked to its item, said why when it cannot be.
  std::shared_ptr<DdeConversation> Link() {
    auto conversation = Connect();
    try {
      conversation->StartHotLink("item", Collect());
    } catch (const base::Failure& failure) {
      ADD_FAILURE() << "no hot link on the peer's item: error " << failure.Code();
      throw;
    }
    return conversation;
  }
  std::function<void(const std::string&)> Collect() {
    return [this](const std::string& value) { heard.push_back(value); };
  }
  Win32Ui ui{GetModuleHandleA(nullptr)};
  Win32DdeClient client;
  std::vector<std::string> heard;
};

TEST_F(Win32DdeClientTest, EachChangeIsHeardWhenTheClientKeepsUp) {
  PeerProgram peer(UniqueService());
  auto conversation = Link();
  for (const char* value : {"1", "2", "3"}) {
    peer.Publish(value);
    Pass(ui, 30);
  }
  EXPECT_EQ(heard, (std::vector<std::string>{"0", "1", "2", "3"}));
}

TEST_F(Win32DdeClientTest, ABurstQueuedBeforeTheLoopTurnsIsHeardAsItsNewestValue) {
  PeerProgram peer(UniqueService());
  auto conversation = Link();
  // 200 changes wait in the client's queue before its loop turns: passing each one on
  // would keep the program behind the radio for nothing.
  for (int i = 1; i <= 200; ++i) peer.Publish(std::to_string(i));
  Pass(ui, 100);
  EXPECT_EQ(heard, (std::vector<std::string>{"0", "200"}));
}

TEST_F(Win32DdeClientTest, ValuesBeforeThePartnersGoodbyeAreStillHeard) {
  PeerProgram peer(UniqueService());
  auto conversation = Link();
  for (int i = 1; i <= 5; ++i) peer.Publish(std::to_string(i));
  peer.StopServing();
  Pass(ui, 100);
  EXPECT_FALSE(conversation->Alive());
  ASSERT_FALSE(heard.empty());
  EXPECT_EQ(heard.back(), "5");
}

TEST_F(Win32DdeClientTest, AStoppedLinkHearsNothingOfWhatWasQueuedForIt) {
  PeerProgram peer(UniqueService());
  auto conversation = Link();
  for (int i = 1; i <= 5; ++i) peer.Publish(std::to_string(i));
  conversation->StopHotLink("ITEM");
  Pass(ui, 100);
  EXPECT_EQ(heard, (std::vector<std::string>{"0"}));
}

// What a command sets off at the partner is heard after the command, as after any
// synchronous transaction: the listeners of HRD's "tx" run once "butn tx=on" has returned.
TEST_F(Win32DdeClientTest, AChangeACommandSetsOffIsHeardAfterTheCommandReturns) {
  PeerProgram peer(UniqueService());
  peer.ChangeOnEachCommand("tx");
  auto conversation = Connect();
  bool executing = false;
  conversation->StartHotLink("item", [&](const std::string& value) {
    heard.push_back(value + (executing ? " during the command" : ""));
  });
  for (int i = 0; i < 5; ++i) {
    executing = true;
    conversation->Execute("butn tx=on");
    executing = false;
    Pass(ui, 30);
  }
  EXPECT_EQ(heard, (std::vector<std::string>{"0", "tx", "tx", "tx", "tx", "tx"}));
}

// A link stopped and started again, in another case, hears the changes after it as before
// (a server that counted its links, to post changes only for linked items, once missed it).
TEST_F(Win32DdeClientTest, ALinkStartedAgainAfterAStopHearsEachChange) {
  PeerProgram peer(UniqueService());
  auto conversation = Link();
  peer.Publish("1");
  Pass(ui, 50);
  conversation->StopHotLink("item");
  Pass(ui, 50);
  peer.Publish("2");
  Pass(ui, 50);
  conversation->StartHotLink("ITEM", Collect());
  for (int i = 3; i <= 5; ++i) {
    peer.Publish(std::to_string(i));
    Pass(ui, 30);
  }
  EXPECT_EQ(heard, (std::vector<std::string>{"0", "1", "2", "3", "4", "5"}));
}

// Under Wine a DDEML server follows the data answering a REQUEST with a positive ACK that
// carries the data's atom once more, without a reference of its own. Deleting that atom
// took the item's name from the other programs holding it: after the bridge linked on HRD
// a few times, HRD's answers named nothing and the bridge kept a stale frequency.
TEST_F(Win32DdeClientTest, LinkingAgainAndAgainLeavesTheItemsNameToTheOthersHoldingIt) {
  PeerProgram peer(UniqueService());
  const ATOM ours = GlobalAddAtomA("Item");
  ASSERT_NE(ours, 0);
  auto conversation = Connect();
  for (int i = 0; i < 10; ++i) {
    conversation->StartHotLink("Item", Collect());
    Pass(ui, 20);
    conversation->StopHotLink("Item");
    Pass(ui, 20);
  }
  EXPECT_EQ(GlobalFindAtomA("Item"), ours);
  EXPECT_EQ(heard, std::vector<std::string>(10, "0"));
  if (GlobalFindAtomA("Item") == ours) GlobalDeleteAtom(ours);
}

// Each command a client sends must leave nothing behind in the server: the program answers
// commands for days, and under Wine every EXECUTE's leftover also took one of the process's
// 65,536 movable memory handles, after which the program refused every command.
TEST_F(Win32DdeClientTest, ThousandsOfCommandsLeaveNoMemoryBehind) {
  PeerProgram peer(UniqueService());
  auto conversation = Connect();
  const std::string command = "014xcvrsetmodecmd<xcvrsetmodearg:3>" + std::string(60, 'x');
  for (int i = 0; i < 200; ++i) conversation->Execute(command);
  const long long before = HeapBytesInUse();
  constexpr int kCommands = 3000;
  for (int i = 0; i < kCommands; ++i) conversation->Execute(command);
  Pass(ui, 50);
  // Far below one command's text per command: what stays is the heap's own bookkeeping.
  EXPECT_LT(HeapBytesInUse() - before, kCommands * 8LL);
}

}  // namespace
}  // namespace bridge::platform::win32
