// What the Win32 window layer does beyond the platform contract: a control's window shows
// its text from the next turn of the message loop, once however often the text changed.
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

TEST(Win32UiTest, ABoxChangedManyTimesInOneTurnShowsItsNewestTextOnce) {
  Win32Ui ui(GetModuleHandleA(nullptr));
  WindowSpec design;
  design.name = "Form";
  design.caption = "Win32UiTest";
  auto form = ui.CreateForm(design);
  ControlSpec boxDesign;
  boxDesign.name = "Box";
  boxDesign.text = "start";
  TextBox& box = form->AddTextBox(boxDesign);
  std::vector<std::string> heard;
  box.OnChange([&] { heard.push_back(box.Text()); });

  HWND formWindow = FindWindowA(nullptr, "Win32UiTest");
  ASSERT_NE(formWindow, nullptr);
  HWND edit = FindWindowExA(formWindow, nullptr, "EDIT", nullptr);
  ASSERT_NE(edit, nullptr);
  ASSERT_EQ(WindowText(edit), "start");
  textsTaken = 0;
  editProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));

  for (int i = 1; i <= 100; ++i) box.SetText(std::to_string(i));
  // The program reads and hears every change at once; the window catches up afterwards.
  EXPECT_EQ(box.Text(), "100");
  ASSERT_EQ(heard.size(), 100u);
  EXPECT_EQ(heard.front(), "1");
  EXPECT_EQ(heard.back(), "100");
  ui.ProcessMessages();
  EXPECT_EQ(WindowText(edit), "100");
  EXPECT_EQ(textsTaken, 1);
  EXPECT_EQ(heard.size(), 100u);  // the window taking the text is no change of it

  SetWindowLongPtrA(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(editProc));
}

}  // namespace
}  // namespace bridge::platform::win32
