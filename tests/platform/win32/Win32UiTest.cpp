// What the Win32 window layer does beyond the platform contract: a control's window shows
// its text later, on the form's timer, once however often the text changed, and never
// ahead of other messages waiting.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/win32/Win32Platform.h"

namespace bridge::platform::win32 {
namespace {

int textsTaken = 0;
WNDPROC editProc = nullptr;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_SETTEXT) ++textsTaken;
  return CallWindowProcA(editProc, window, message, wParam, lParam);
}

std::string WindowText(HWND window) {
  char text[256] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

// What a window of its own saw of the box's window when its message came.
std::string seenWhenOtherMessageCame;
HWND watchedEdit = nullptr;

LRESULT CALLBACK OtherProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) seenWhenOtherMessageCame = WindowText(watchedEdit);
  return DefWindowProcA(window, message, wParam, lParam);
}

/// A form with one text box, its edit control's window counting the texts it takes.
class Win32UiTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WindowSpec design;
    design.name = "Form";
    design.caption = "Win32UiTest";
    form_ = ui_.CreateForm(design);
    ControlSpec boxDesign;
    boxDesign.name = "Box";
    boxDesign.text = "start";
    box_ = &form_->AddTextBox(boxDesign);
    box_->OnChange([this] { heard_.push_back(box_->Text()); });

    HWND formWindow = FindWindowA(nullptr, "Win32UiTest");
    ASSERT_NE(formWindow, nullptr);
    edit_ = FindWindowExA(formWindow, nullptr, "EDIT", nullptr);
    ASSERT_NE(edit_, nullptr);
    ASSERT_EQ(WindowText(edit_), "start");
    textsTaken = 0;
    editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
  }
  void TearDown() override {
    if (edit_ && editProc) SetWindowLongPtrA(edit_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc));
  }
  /// Runs the message loop for `milliseconds`.
  void Pass(DWORD milliseconds) {
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (ULONGLONG now = GetTickCount64(); now < end; now = GetTickCount64()) {
      ui_.ProcessMessages();
      MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    }
    ui_.ProcessMessages();
  }
  /// Runs the message loop until the box's window shows `text`, for 2 s at most.
  bool PassUntilShown(const std::string& text) {
    for (int turn = 0; turn < 200 && WindowText(edit_) != text; ++turn) Pass(10);
    return WindowText(edit_) == text;
  }

  Win32Ui ui_{GetModuleHandleA(nullptr)};
  std::unique_ptr<Window> form_;
  TextBox* box_ = nullptr;
  HWND edit_ = nullptr;
  std::vector<std::string> heard_;
};

TEST_F(Win32UiTest, ABoxChangedManyTimesInOneTurnShowsItsNewestTextOnce) {
  for (int i = 1; i <= 100; ++i) box_->SetText(std::to_string(i));
  // The program reads and hears every change at once; the window catches up afterwards.
  EXPECT_EQ(box_->Text(), "100");
  ASSERT_EQ(heard_.size(), 100u);
  EXPECT_EQ(heard_.front(), "1");
  EXPECT_EQ(heard_.back(), "100");
  ASSERT_TRUE(PassUntilShown("100"));
  EXPECT_EQ(textsTaken, 1);
  EXPECT_EQ(heard_.size(), 100u);  // the window taking the text is no change of it
}

TEST_F(Win32UiTest, MessagesWaitingAreHandledBeforeTheWindowTakesANewText) {
  // Another program's request arriving right after a change: it does not wait behind the
  // display of the change.
  WNDCLASSA otherClass{};
  otherClass.lpfnWndProc = OtherProc;
  otherClass.hInstance = GetModuleHandleA(nullptr);
  otherClass.lpszClassName = "Win32UiTestOther";
  RegisterClassA(&otherClass);
  HWND other = CreateWindowExA(0, "Win32UiTestOther", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                               GetModuleHandleA(nullptr), nullptr);
  ASSERT_NE(other, nullptr);
  watchedEdit = edit_;
  seenWhenOtherMessageCame = "(not yet)";

  box_->SetText("14025.50");
  PostMessageA(other, WM_APP, 0, 0);
  ui_.ProcessMessages();
  EXPECT_EQ(seenWhenOtherMessageCame, "start");
  EXPECT_TRUE(PassUntilShown("14025.50"));
  DestroyWindow(other);
}

TEST_F(Win32UiTest, ABoxChangingAllTheTimeIsShownAFewTimesASecondEndingOnItsNewestText) {
  // HRD reporting a turning dial every 5 ms for half a second.
  const ULONGLONG end = GetTickCount64() + 500;
  int changes = 0;
  while (GetTickCount64() < end) {
    box_->SetText(std::to_string(++changes));
    Pass(5);
  }
  ASSERT_GT(changes, 20);
  EXPECT_EQ(heard_.size(), static_cast<std::size_t>(changes));
  ASSERT_TRUE(PassUntilShown(std::to_string(changes)));
  // Ten a second, give or take the timer's granularity.
  EXPECT_GE(textsTaken, 2);
  EXPECT_LE(textsTaken, 8);
}

TEST_F(Win32UiTest, AFormAppearsWithItsTexts) {
  box_->SetText("7,040.00");
  form_->Show();
  EXPECT_EQ(WindowText(edit_), "7,040.00");
  EXPECT_EQ(textsTaken, 1);
  Pass(150);
  EXPECT_EQ(textsTaken, 1);
}

TEST_F(Win32UiTest, APersonTypingEditsTheTextTheBoxHoldsNotAnOlderOneShown) {
  box_->SetText("new");
  // The key arrives before the window has shown "new".
  SendMessageA(edit_, WM_KEYDOWN, VK_END, 0);
  SendMessageA(edit_, WM_CHAR, 'x', 1);
  EXPECT_EQ(box_->Text(), "newx");
  EXPECT_EQ(WindowText(edit_), "newx");
}

}  // namespace
}  // namespace bridge::platform::win32
