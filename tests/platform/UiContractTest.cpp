// Timers, forms and controls behave as Win32's do.
#include <stdexcept>

#include "platform/PlatformContract.h"

namespace bridge::platform::contract {
namespace {

// Intervals and checkpoints leave half an interval either side, so that a platform with
// real time passes them as one whose time is virtual.
constexpr std::int32_t kInterval = 200;

struct Ticks {
  int count = 0;
  void Watch(Timer& timer) {
    timer.OnTick([this] { ++count; });
  }
};

TEST_P(UiContract, ATimerArmedTwiceFiresOncePerInterval) {
  auto timer = harness->Layer().CreateTimer();
  Ticks ticks;
  ticks.Watch(*timer);
  timer->SetInterval(kInterval);
  timer->SetEnabled(true);
  harness->Pass(kInterval / 2);
  timer->SetEnabled(true);  // already armed: neither a second tick nor a later one
  harness->Pass(kInterval * 3 / 4);
  EXPECT_EQ(ticks.count, 1);
  harness->Pass(kInterval);
  EXPECT_EQ(ticks.count, 2);
}

TEST_P(UiContract, ArmingADisarmedTimerAgainRestartsItsInterval) {
  auto timer = harness->Layer().CreateTimer();
  Ticks ticks;
  ticks.Watch(*timer);
  timer->SetInterval(kInterval);
  timer->SetEnabled(true);
  harness->Pass(kInterval * 3 / 4);
  timer->SetEnabled(false);
  timer->SetEnabled(true);
  harness->Pass(kInterval / 2);  // past the first arming's tick
  EXPECT_EQ(ticks.count, 0);
  harness->Pass(kInterval);
  EXPECT_EQ(ticks.count, 1);
}

TEST_P(UiContract, ADisabledTimerOrOneWithoutIntervalNeverFires) {
  auto disabled = harness->Layer().CreateTimer();
  auto zero = harness->Layer().CreateTimer();
  auto disabler = harness->Layer().CreateTimer();
  Ticks disabledTicks, zeroTicks;
  disabledTicks.Watch(*disabled);
  zeroTicks.Watch(*zero);
  disabled->SetInterval(kInterval * 3 / 2);
  disabled->SetEnabled(true);
  zero->SetEnabled(true);
  // Disabled by another timer's tick before it falls due.
  disabler->SetInterval(kInterval / 2);
  disabler->OnTick([&] {
    disabled->SetEnabled(false);
    disabler->SetEnabled(false);
  });
  disabler->SetEnabled(true);
  harness->Pass(kInterval * 4);
  EXPECT_EQ(disabledTicks.count, 0);
  EXPECT_EQ(zeroTicks.count, 0);
  EXPECT_FALSE(disabled->Enabled());
}

/// A form with one label and one text box, each with a counting change listener.
struct TwoControls {
  explicit TwoControls(Ui& ui) : form(ui.CreateForm(FormDesign("ContractForm"))) {
    label = &form->AddLabel(ControlDesign("Caption", "one"));
    box = &form->AddTextBox(ControlDesign("Entry", "one"));
    for (Control* control : Both()) control->OnChange([this, control] { changes.push_back(control->Text()); });
  }
  std::vector<Control*> Both() { return {label, box}; }
  std::unique_ptr<Window> form;
  Label* label = nullptr;
  TextBox* box = nullptr;
  std::vector<std::string> changes;
};

TEST_P(UiContract, ChangeListenersRunOnlyWhenTheTextReallyChanges) {
  TwoControls controls(harness->Layer());
  for (Control* control : controls.Both()) {
    SCOPED_TRACE(control->Name());
    controls.changes.clear();
    control->SetText("one");
    EXPECT_TRUE(controls.changes.empty());
    control->SetText("two");
    control->SetText("two");
    control->SetText("");
    EXPECT_EQ(controls.changes, (std::vector<std::string>{"two", ""}));
  }
}

TEST_P(UiContract, AListenerAddedDuringAChangeRunsInTheSameWalk) {
  TwoControls controls(harness->Layer());
  for (Control* control : controls.Both()) {
    SCOPED_TRACE(control->Name());
    int late = 0;
    bool added = false;
    control->OnChange([&] {
      if (added) return;
      added = true;
      control->OnChange([&] { ++late; });
    });
    control->SetText("two");
    EXPECT_EQ(late, 1);
    control->SetText("three");
    EXPECT_EQ(late, 2);
  }
}

TEST_P(UiContract, AFailingListenerReachesTheSetterOfALabelButNotOfATextBox) {
  TwoControls controls(harness->Layer());
  int after = 0;
  for (Control* control : controls.Both()) {
    control->OnChange([] { throw std::runtime_error("listener"); });
    control->OnChange([&] { ++after; });
  }
  // A static control calls its listeners directly; an edit control's change comes back
  // through its form's window procedure as EN_CHANGE, which ends the walk and lets nothing out.
  EXPECT_THROW(controls.label->SetText("two"), std::runtime_error);
  EXPECT_NO_THROW(controls.box->SetText("two"));
  EXPECT_EQ(controls.label->Text(), "two");
  EXPECT_EQ(controls.box->Text(), "two");
  EXPECT_EQ(after, 0);
}

TEST_P(UiContract, ATypedCharacterPassesTheKeyHandlerAndACancelledOneChangesNothing) {
  TwoControls controls(harness->Layer());
  controls.box->SetText("");
  controls.changes.clear();
  controls.box->OnKeyPress([](std::int16_t& key) {
    if (key == 'x') key = 0;
    if (key == 'a') key = 'A';
  });
  for (char key : {'7', 'x', 'a'}) harness->Type(*controls.form, *controls.box, key);
  EXPECT_EQ(controls.box->Text(), "7A");
  EXPECT_EQ(controls.changes, (std::vector<std::string>{"7", "7A"}));
}

std::vector<std::string> LoadedNames(Ui& ui) {
  std::vector<std::string> names;
  for (Window* form : ui.LoadedForms())
    if (form->Name().rfind("Contract", 0) == 0) names.push_back(form->Name());
  return names;
}

TEST_P(UiContract, FormsAreLoadedInOrderUntilDestroyed) {
  Ui& ui = harness->Layer();
  auto first = ui.CreateForm(FormDesign("ContractFirst"));
  auto second = ui.CreateForm(FormDesign("ContractSecond"));
  EXPECT_EQ(LoadedNames(ui), (std::vector<std::string>{"ContractFirst", "ContractSecond"}));
  first->Show();
  first->Destroy();
  first->Destroy();
  EXPECT_EQ(LoadedNames(ui), (std::vector<std::string>{"ContractSecond"}));
  EXPECT_FALSE(first->Visible());
  second.reset();  // a form that goes is unloaded too
  EXPECT_TRUE(LoadedNames(ui).empty());
}

TEST_P(UiContract, AFormsControlsGoWithItAndLetGoOfWhatTheirHandlersHold) {
  TwoControls controls(harness->Layer());
  auto held = std::make_shared<int>(0);
  controls.label->OnChange([held] {});
  controls.box->OnChange([held] {});
  controls.box->OnKeyPress([held](std::int16_t&) {});
  ASSERT_EQ(held.use_count(), 4);
  controls.form->Destroy();
  EXPECT_EQ(held.use_count(), 1);
}

TEST_P(UiContract, ClosingRunsTheCloseHandlerWhileLoadedThenUnloadsEvenWhenItFails) {
  Ui& ui = harness->Layer();
  auto form = ui.CreateForm(FormDesign("ContractClosing"));
  form->Show();
  std::vector<std::string> loadedDuringClose;
  form->OnClose([&]() -> bool {
    loadedDuringClose = LoadedNames(ui);
    throw std::runtime_error("close handler");
  });
  harness->Close(*form);
  EXPECT_EQ(loadedDuringClose, (std::vector<std::string>{"ContractClosing"}));
  EXPECT_TRUE(LoadedNames(ui).empty());
}

TEST_P(UiContract, AWindowWhoseCloseHandlerKeepsItStaysUntilTheProgramDestroysIt) {
  Ui& ui = harness->Layer();
  auto form = ui.CreateForm(FormDesign("ContractKept"));
  Label& label = form->AddLabel(ControlDesign("KeptLabel", "still here"));
  form->Show();
  int closes = 0;
  form->OnClose([&] {
    ++closes;
    return false;
  });
  harness->Close(*form);
  EXPECT_EQ(closes, 1);
  EXPECT_EQ(LoadedNames(ui), (std::vector<std::string>{"ContractKept"}));
  EXPECT_EQ(label.Text(), "still here");
  form->Destroy();
  EXPECT_TRUE(LoadedNames(ui).empty());
}

TEST_P(UiContract, TheResizeHandlerRunsOnceForTheFirstShowingAndOnEachStateChange) {
  auto form = harness->Layer().CreateForm(FormDesign("ContractSized"));
  int resized = 0;
  form->OnResize([&] { ++resized; });
  form->Show();
  EXPECT_EQ(resized, 1);
  form->Show();
  form->SetState(WindowState::Normal);
  EXPECT_EQ(resized, 1);
  form->SetState(WindowState::Minimized);
  EXPECT_GE(resized, 2);
  EXPECT_EQ(form->State(), WindowState::Minimized);
}

}  // namespace
}  // namespace bridge::platform::contract
