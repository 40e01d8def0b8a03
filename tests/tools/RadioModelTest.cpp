// The simulated radio: what each EXECUTE does to the items, set values, reply modes.
#include "hrd_sim/RadioModel.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace tools::hrd_sim {
namespace {

std::string ValueOf(const Radio& radio, const char* item) {
  const std::string* value = radio.Find(item);
  return value != nullptr ? *value : "<no such item>";
}

struct CommandCase {
  const char* command;
  const char* item;
  const char* value;
};

class RadioCommandTest : public ::testing::TestWithParam<CommandCase> {};

TEST_P(RadioCommandTest, ChangesOnlyItsOwnItem) {
  const CommandCase& c = GetParam();
  Radio radio;
  const ItemValues before = radio.Items();

  const Radio::Executed executed = radio.Execute(c.command);

  ASSERT_TRUE(executed.known);
  ASSERT_TRUE(executed.change.has_value());
  EXPECT_EQ(executed.change->item, c.item);
  EXPECT_EQ(executed.change->value, c.value);
  for (const auto& [item, value] : before) {
    EXPECT_EQ(ValueOf(radio, item.c_str()), item == c.item ? c.value : value) << item;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, RadioCommandTest,
    ::testing::Values(CommandCase{"frqa 14025500", kItemHertz, "14025500"},
                      CommandCase{"FRQA 3573000", kItemHertz, "3573000"},
                      CommandCase{"frqb 10136000", kItemHertzB, "10136000"},
                      CommandCase{"mode digu", kItemMode, "DIGU"},
                      CommandCase{"Mode cw-r", kItemMode, "CW-R"},
                      CommandCase{"  mode   lsb  ", kItemMode, "LSB"},
                      CommandCase{"butn tx=on", kItemTx, "on"},
                      CommandCase{"BUTN TX=ON", kItemTx, "on"},
                      CommandCase{"butn Split=on", kItemButtonStatus, "Split=on Dual=off"},
                      CommandCase{"butn dual=ON", kItemButtonStatus, "Split=off Dual=on"},
                      CommandCase{"butn Split=off", kItemButtonStatus, "Split=off Dual=off"}));

class RadioUnknownCommandTest : public ::testing::TestWithParam<const char*> {};

TEST_P(RadioUnknownCommandTest, ChangesNothing) {
  Radio radio;
  const ItemValues before = radio.Items();

  const Radio::Executed executed = radio.Execute(GetParam());

  EXPECT_FALSE(executed.known);
  EXPECT_FALSE(executed.change.has_value());
  EXPECT_EQ(radio.Items(), before);
}

INSTANTIATE_TEST_SUITE_P(Malformed, RadioUnknownCommandTest,
                         ::testing::Values("", "tune the antenna", "frqa 14.070", "frqa",
                                           "frqa -7040000", "frqb 7e6", "mode", "butn",
                                           "butn tx", "butn tx=maybe", "butn vox=on",
                                           "frqa14070000"));

TEST(RadioTest, ModeUsbSetsTheModeFromAnother) {
  ItemValues items = DefaultItems();
  items[kItemMode] = "LSB";
  Radio radio(items);
  const Radio::Executed executed = radio.Execute("mode usb");
  ASSERT_TRUE(executed.change.has_value());
  EXPECT_EQ(ValueOf(radio, kItemMode), "USB");
}

TEST(RadioTest, ButtonsPressedInTurnAccumulate) {
  Radio radio;
  radio.Execute("butn Split=on");
  radio.Execute("butn Dual=on");
  EXPECT_EQ(ValueOf(radio, kItemButtonStatus), "Split=on Dual=on");
  radio.Execute("butn Split=off");
  EXPECT_EQ(ValueOf(radio, kItemButtonStatus), "Split=off Dual=on");
  // tx is an item of its own, not a button in the status.
  radio.Execute("butn tx=on");
  EXPECT_EQ(ValueOf(radio, kItemButtonStatus), "Split=off Dual=on");
}

TEST(RadioTest, ButtonsFollowAStatusSetFromOutside) {
  Radio radio;
  radio.Set("hrd_button_status", "Split=on Dual=off");
  radio.Execute("butn Dual=on");
  EXPECT_EQ(ValueOf(radio, kItemButtonStatus), "Split=on Dual=on");
}

TEST(RadioTest, ButtonsStartFromTheStatusItIsGiven) {
  ItemValues items = DefaultItems();
  items[kItemButtonStatus] = "dual=ON split=bogus";
  Radio radio(items);
  radio.Execute("butn split=on");
  EXPECT_EQ(ValueOf(radio, kItemButtonStatus), "Split=on Dual=on");
}

TEST(RadioTest, CommandGivingTheCurrentValueIsKnownButChangesNothing) {
  Radio radio;
  const Radio::Executed executed = radio.Execute("butn tx=off");
  EXPECT_TRUE(executed.known);
  EXPECT_FALSE(executed.change.has_value());
}

TEST(RadioTest, SetMatchesNamesWithoutCaseAndKeepsTheUsualSpelling) {
  Radio radio;
  const std::optional<Change> change = radio.Set("hrd_mode", "LSB");
  ASSERT_TRUE(change.has_value());
  EXPECT_EQ(change->item, kItemMode);
  EXPECT_EQ(ValueOf(radio, "Hrd_Mode"), "LSB");
  EXPECT_EQ(radio.Items().size(), DefaultItems().size());
}

TEST(RadioTest, SetAddsNewItemsTakesEmptyValuesAndSkipsUnchangedOnes) {
  Radio radio;
  ASSERT_TRUE(radio.Set("HRD_SMETER", "S9").has_value());
  EXPECT_EQ(ValueOf(radio, "HRD_SMETER"), "S9");
  EXPECT_FALSE(radio.Set("hrd_smeter", "S9").has_value());
  ASSERT_TRUE(radio.Set(kItemMode, "").has_value());
  EXPECT_EQ(ValueOf(radio, kItemMode), "");
  EXPECT_EQ(radio.Find("HRD_NO_SUCH_ITEM"), nullptr);
}

TEST(RadioTest, RepliesAckRefuseAndStall) {
  Radio radio;
  EXPECT_EQ(radio.Reply(), ExecuteReply::Ack);
  radio.SetExecuteReply(ExecuteReply::Refuse);
  EXPECT_EQ(radio.Reply(), ExecuteReply::Refuse);
  radio.SetExecuteReply(ExecuteReply::Stall, 1500);
  EXPECT_EQ(std::make_tuple(radio.Reply(), radio.StallMs()),
            std::make_tuple(ExecuteReply::Stall, 1500u));
  radio.SetExecuteReply(ExecuteReply::Ack);
  EXPECT_EQ(std::make_tuple(radio.Reply(), radio.StallMs()),
            std::make_tuple(ExecuteReply::Ack, 0u));
}

TEST(RadioTest, StallOfNoMillisecondsIsAnAck) {
  Radio radio;
  radio.SetExecuteReply(ExecuteReply::Refuse);
  radio.SetExecuteReply(ExecuteReply::Stall, 0);
  EXPECT_EQ(radio.Reply(), ExecuteReply::Ack);
}

TEST(RadioTest, ChangeAfterRequestIsGivenOnceWhateverTheCase) {
  Radio radio(DefaultItems(), {{"HRD_HERTZ", "7074000"}});
  EXPECT_FALSE(radio.TakeChangeAfterRequest(kItemMode).has_value());
  const std::optional<Change> change = radio.TakeChangeAfterRequest("hrd_hertz");
  ASSERT_TRUE(change.has_value());
  EXPECT_EQ(change->item, "HRD_HERTZ");
  EXPECT_EQ(change->value, "7074000");
  EXPECT_FALSE(radio.TakeChangeAfterRequest("HRD_HERTZ").has_value());
  // Taking it does not apply it: the server does, once the answer is out.
  EXPECT_EQ(ValueOf(radio, kItemHertz), "14070000");
}

}  // namespace
}  // namespace tools::hrd_sim
