// The platform contract bound to the in-memory fakes, and what only the fakes promise.
#include <gtest/gtest-spi.h>

#include "platform/PlatformContract.h"
#include "platform/sim/FakePlatform.h"

namespace bridge::platform::contract {
namespace {

using sim::FakeWindow;

class FakeUiHarness : public UiHarness {
 public:
  Ui& Layer() override { return ui_; }
  void Pass(std::int32_t milliseconds) override { ui_.RunFor(milliseconds); }
  void Close(Window& form) override { dynamic_cast<FakeWindow&>(form).Close(); }
  void Type(Window& form, TextBox& box, char character) override {
    dynamic_cast<FakeWindow&>(form).Type(box.Name(), character);
  }

 private:
  sim::FakeUi ui_;
};

class FakePeerHarness : public PeerHarness {
 public:
  explicit FakePeerHarness(sim::FakePeer& peer) : peer_(peer) {}
  void Start() override { peer_.Start(); }
  void Stop() override { peer_.Stop(); }
  void Publish(const std::string& item, const std::string& value) override { peer_.Publish(item, value); }
  void RefuseLinks(const std::string& item) override { peer_.refusedItems.push_back(item); }
  void RefuseCommands(bool refuse) override { peer_.refuseCommands = refuse; }
  std::vector<std::string> Commands() override { return peer_.commands; }

 private:
  sim::FakePeer& peer_;
};

class FakeDdeClientHarness : public DdeClientHarness {
 public:
  DdeClient& Client() override { return client_; }
  PeerHarness& AddPeer(const std::string& service, const std::string& topic) override {
    peers_.push_back(std::make_unique<FakePeerHarness>(client_.AddPeer(service, topic)));
    return *peers_.back();
  }
  void Pass(std::int32_t) override {}

 private:
  sim::FakeDdeClient client_;
  std::vector<std::unique_ptr<FakePeerHarness>> peers_;
};

class FakeDdeServerHarness : public DdeServerHarness {
 public:
  DdeServer& Server() override { return server_; }
  std::optional<std::string> Request(const std::string& topic, const std::string& item) override {
    return server_.Request(topic, item);
  }
  std::optional<ExecuteAnswer> Execute(const std::string& topic, const std::string& command) override {
    return server_.Execute(topic, command);
  }
  bool StartHotLink(const std::string& topic, const std::string& item) override {
    return server_.StartHotLink(topic, item);
  }
  std::vector<std::string> Pushes() override {
    std::vector<std::string> pushes;
    for (const auto& push : server_.pushes) pushes.push_back(push.item + "=" + push.value);
    return pushes;
  }
  void Pass(std::int32_t) override {}

 private:
  sim::FakeDdeServer server_;
};

class FakeSettingsHarness : public SettingsHarness {
 public:
  SettingsStore& Store() override { return store_; }
  std::string App() override { return "Tavix_HRD_Bridge"; }

 private:
  sim::FakeSettingsStore store_;
};

class FakeFilesHarness : public FilesHarness {
 public:
  FileSystem& Files() override { return files_; }
  std::string Folder() override { return "C:\\Tavix"; }
  std::string AbsentFolder() override {
    files_.RemoveFolder("C:\\Tavix\\Bridge");
    return "C:\\Tavix\\Bridge";
  }

 private:
  sim::FakeFileSystem files_;
};

template <typename Harness, typename Fake>
std::vector<Binding<Harness>> Fakes() {
  return {{"Fake", [] { return std::make_unique<Fake>(); }}};
}

INSTANTIATE_TEST_SUITE_P(Fake, UiContract, ::testing::ValuesIn(Fakes<UiHarness, FakeUiHarness>()),
                         BindingName<UiHarness>);
INSTANTIATE_TEST_SUITE_P(Fake, DdeClientContract,
                         ::testing::ValuesIn(Fakes<DdeClientHarness, FakeDdeClientHarness>()),
                         BindingName<DdeClientHarness>);
INSTANTIATE_TEST_SUITE_P(Fake, DdeServerContract,
                         ::testing::ValuesIn(Fakes<DdeServerHarness, FakeDdeServerHarness>()),
                         BindingName<DdeServerHarness>);
INSTANTIATE_TEST_SUITE_P(Fake, SettingsContract,
                         ::testing::ValuesIn(Fakes<SettingsHarness, FakeSettingsHarness>()),
                         BindingName<SettingsHarness>);
INSTANTIATE_TEST_SUITE_P(Fake, FilesContract, ::testing::ValuesIn(Fakes<FilesHarness, FakeFilesHarness>()),
                         BindingName<FilesHarness>);

// ---- only the fakes ---------------------------------------------------------------------

// On Windows a destroyed form's controls are freed memory; the fake keeps them so that a
// test touching one fails, naming it, in every build and not only under a sanitizer.
TEST(FakeWindowTest, UsingAControlOfADestroyedFormFailsTheTest) {
  sim::FakeUi ui;
  auto form = ui.CreateForm(FormDesign("VelkMain"));
  Label& label = form->AddLabel(ControlDesign("FreqDisplay"));
  TextBox& box = form->AddTextBox(ControlDesign("HRDFreq"));
  form->Destroy();
  EXPECT_NONFATAL_FAILURE(label.SetText("14.070"), "SetText on control FreqDisplay of destroyed form VelkMain");
  EXPECT_NONFATAL_FAILURE(box.Text(), "Text on control HRDFreq of destroyed form VelkMain");
  form.reset();
  EXPECT_NONFATAL_FAILURE(box.OnChange([] {}), "OnChange on control HRDFreq");
  EXPECT_EQ(ui.DestroyedControls(), 2u);
}

TEST(FakeWindowTest, ADestroyedFormIsNoLongerFoundButItsControlsAreAndFailWhenUsed) {
  sim::FakeUi ui;
  auto form = ui.CreateForm(FormDesign("DDEServer"));
  auto& fake = dynamic_cast<FakeWindow&>(*form);
  fake.AddTextBox(ControlDesign("RcvFreq"));
  ASSERT_EQ(ui.FindForm("DDEServer"), &fake);
  fake.Close();
  EXPECT_EQ(ui.FindForm("DDEServer"), nullptr);
  ASSERT_NE(fake.Find("RcvFreq"), nullptr);
  EXPECT_NONFATAL_FAILURE(fake.Type("RcvFreq", '1'), "Type on control RcvFreq of destroyed form DDEServer");
}

TEST(FakeUiTest, NoTimerFiresOnceTheLoopWasToldToQuit) {
  sim::FakeUi ui;
  auto timer = ui.CreateTimer();
  int ticks = 0;
  timer->OnTick([&] {
    if (++ticks == 2) ui.Quit();
  });
  timer->SetInterval(100);
  timer->SetEnabled(true);
  ui.RunFor(1000);
  EXPECT_EQ(ticks, 2);
}

}  // namespace
}  // namespace bridge::platform::contract
