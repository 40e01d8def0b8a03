// The Win32 layer's handle owners against the real system, under Wine: each frees what it
// owns exactly once, moving hands ownership on, and a borrowed or shared handle is never freed.
#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "platform/win32/DdeHandles.h"
#include "platform/win32/Win32Handles.h"

namespace bridge::platform::win32 {
namespace {

HDDEDATA CALLBACK Serve(UINT type, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) {
  // Any topic is served; nothing else is answered.
  return type == XTYP_CONNECT ? reinterpret_cast<HDDEDATA>(TRUE) : nullptr;
}

HDDEDATA CALLBACK Ignore(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR) { return nullptr; }

/// Whether a string handle still names `text` in `instance`.
bool Names(DWORD instance, HSZ handle, const std::string& text) {
  return DdeString::Borrowed(instance, handle).Text() == text;
}

class DdeHandlesTest : public testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(instance_) << "DdeInitialize failed"; }
  DWORD Id() const { return instance_.Id(); }

  DdeInstance instance_ = DdeInstance::Start(Serve, APPCLASS_STANDARD);
};

// DDEML counts the references to one name; a second free of a moved handle would take the
// reference of another owner of the same name.
TEST_F(DdeHandlesTest, MovedStringIsFreedOnceByItsLastOwner) {
  DdeString other = DdeString::Owned(Id(), "TavixMoved");
  const HSZ raw = other.Get();
  {
    DdeString first = DdeString::Owned(Id(), "TavixMoved");
    ASSERT_TRUE(first.Owns());
    DdeString second(std::move(first));
    DdeString third;
    third = std::move(second);
    EXPECT_FALSE(first);
    EXPECT_FALSE(second);
    EXPECT_TRUE(Names(Id(), third.Get(), "TavixMoved"));
  }
  EXPECT_TRUE(Names(Id(), raw, "TavixMoved"));
  other.Reset();
  EXPECT_FALSE(Names(Id(), raw, "TavixMoved"));
}

TEST_F(DdeHandlesTest, BorrowedStringIsReadButNeverFreed) {
  DdeString owned = DdeString::Owned(Id(), "TavixLent");
  {
    DdeString lent = DdeString::Borrowed(Id(), owned.Get());
    EXPECT_FALSE(lent.Owns());
    EXPECT_EQ(lent.Text(), "TavixLent");
    DdeString moved(std::move(lent));
  }
  EXPECT_TRUE(Names(Id(), owned.Get(), "TavixLent"));
}

TEST_F(DdeHandlesTest, AssigningOverAnOwnedStringFreesTheOldOne) {
  DdeString owned = DdeString::Owned(Id(), "TavixReplaced");
  const HSZ raw = owned.Get();
  owned = DdeString::Owned(Id(), "TavixReplacement");
  EXPECT_FALSE(Names(Id(), raw, "TavixReplaced"));
  EXPECT_EQ(owned.Text(), "TavixReplacement");
}

TEST_F(DdeHandlesTest, DataIsReadUpToItsNulAndBorrowedDataStaysReadable) {
  DdeString item = DdeString::Owned(Id(), "Item");
  DdeData owned = DdeData::FromText(Id(), item.Get(), "14025.5");
  ASSERT_TRUE(owned.Owns());
  {
    DdeData lent = DdeData::Borrowed(owned.Get());
    EXPECT_FALSE(lent.Owns());
    EXPECT_EQ(lent.Text(), "14025.5");
  }
  EXPECT_EQ(owned.Text(), "14025.5");
  DdeData moved(std::move(owned));
  EXPECT_FALSE(owned);
  EXPECT_EQ(moved.Text(), "14025.5");
}

TEST_F(DdeHandlesTest, ReleasedDataIsNoLongerFreedByItsOwner) {
  DdeString item = DdeString::Owned(Id(), "Item");
  HDDEDATA handed = nullptr;
  {
    DdeData owned = DdeData::FromText(Id(), item.Get(), "USB");
    handed = owned.Release();
    EXPECT_FALSE(owned);
  }
  EXPECT_EQ(DdeData::Borrowed(handed).Text(), "USB");
  EXPECT_TRUE(DdeFreeDataHandle(handed));
}

/// Whether a fresh client instance can open a conversation with `service`.
bool Served(const std::string& service) {
  DdeInstance client = DdeInstance::Start(Ignore, APPCMD_CLIENTONLY);
  if (!client) return false;
  const DdeString name = DdeString::Owned(client.Id(), service);
  const DdeString topic = DdeString::Owned(client.Id(), "Topic");
  const HCONV conversation = DdeConnect(client.Id(), name.Get(), topic.Get(), nullptr);
  if (conversation) DdeDisconnect(conversation);
  return conversation != nullptr;
}

TEST_F(DdeHandlesTest, ServiceNameIsServedWhileItsOwnerLivesMovesIncluded) {
  DdeServiceName moved;
  {
    DdeServiceName registered = DdeServiceName::Register(Id(), "TavixHandlesTest");
    ASSERT_TRUE(registered);
    moved = std::move(registered);
  }
  EXPECT_TRUE(Served("TavixHandlesTest"));
  moved.Reset();
  EXPECT_FALSE(Served("TavixHandlesTest"));
}

TEST_F(DdeHandlesTest, RefusedRegistrationHoldsNothingAndLeavesTheFirstServed) {
  const DdeServiceName first = DdeServiceName::Register(Id(), "TavixTwice");
  ASSERT_TRUE(first);
  {
    // DDEML refuses a name its instance already serves.
    const DdeServiceName refused = DdeServiceName::Register(Id(), "TavixTwice");
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.Get(), nullptr);
  }
  EXPECT_TRUE(Served("TavixTwice"));
}

TEST(DdeInstanceTest, MovedInstanceIsUninitializedOnceByItsLastOwner) {
  DdeInstance moved;
  DWORD id = 0;
  {
    DdeInstance started = DdeInstance::Start(Ignore, APPCMD_CLIENTONLY);
    ASSERT_TRUE(started);
    id = started.Id();
    moved = std::move(started);
  }
  // A live instance makes string handles; an uninitialized one does not.
  EXPECT_TRUE(DdeString::Owned(id, "Alive"));
  moved.Reset();
  EXPECT_FALSE(DdeString::Owned(id, "Gone"));
}

// Global atoms are counted too: a second delete would take another owner's reference.
TEST(UniqueHandleTest, MovedAtomIsDeletedOnceByItsLastOwner) {
  GlobalAtom other = AddGlobalAtom("TavixAtomTest");
  ASSERT_TRUE(other);
  {
    GlobalAtom first = AddGlobalAtom("TavixAtomTest");
    GlobalAtom second(std::move(first));
    GlobalAtom third;
    third = std::move(second);
    EXPECT_FALSE(first);
    EXPECT_EQ(third.Get(), other.Get());
  }
  EXPECT_EQ(GlobalFindAtomA("TavixAtomTest"), other.Get());
  other.Reset();
  EXPECT_EQ(GlobalFindAtomA("TavixAtomTest"), 0);
}

TEST(UniqueHandleTest, ReleasedAtomIsLeftToItsNewOwner) {
  ATOM handed = 0;
  {
    GlobalAtom atom = AddGlobalAtom("TavixHandedAtom");
    handed = atom.Release();
  }
  EXPECT_EQ(GlobalFindAtomA("TavixHandedAtom"), handed);
  GlobalDeleteAtom(handed);
}

TEST(UniqueHandleTest, WindowIsDestroyedWithItsOwnerAndAChildGoneWithItsParentIsLeftAlone) {
  WindowHandle parent(CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                                      GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(parent);
  WindowHandle child(CreateWindowExA(0, "STATIC", "", WS_CHILD, 0, 0, 5, 5, parent.Get(), nullptr,
                                     GetModuleHandleA(nullptr), nullptr));
  ASSERT_TRUE(child);
  const HWND rawParent = parent.Get();
  const HWND rawChild = child.Get();
  WindowHandle moved(std::move(parent));
  EXPECT_TRUE(IsWindow(rawParent));
  moved.Reset();
  EXPECT_FALSE(IsWindow(rawParent));
  EXPECT_FALSE(IsWindow(rawChild));
  child.Reset();  // already gone with its parent: nothing to destroy
  EXPECT_FALSE(child);
}

HICON NewIcon() {
  const BYTE andMask[32 * 4] = {};
  const BYTE xorMask[32 * 4] = {};
  return CreateIcon(GetModuleHandleA(nullptr), 32, 32, 1, 1, andMask, xorMask);
}

bool IconAlive(HICON icon) {
  ICONINFO info{};
  if (!GetIconInfo(icon, &info)) return false;
  if (info.hbmMask) DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
  return true;
}

TEST(IconTest, OwnedIconIsDestroyedOnceByItsLastOwner) {
  const HICON raw = NewIcon();
  ASSERT_TRUE(raw);
  Icon moved;
  {
    Icon owned = Icon::Owned(raw);
    moved = std::move(owned);
    EXPECT_FALSE(owned);
  }
  EXPECT_TRUE(IconAlive(raw));
  moved = Icon();
  EXPECT_FALSE(IconAlive(raw));
}

TEST(IconTest, SharedIconIsNeverDestroyed) {
  const HICON raw = NewIcon();
  ASSERT_TRUE(raw);
  {
    Icon shared = Icon::Shared(raw);
    Icon moved(std::move(shared));
    EXPECT_EQ(moved.Get(), raw);
  }
  EXPECT_TRUE(IconAlive(raw));
  DestroyIcon(raw);
}

}  // namespace
}  // namespace bridge::platform::win32
