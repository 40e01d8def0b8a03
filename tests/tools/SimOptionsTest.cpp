// The simulator's command line and the control lines a script sends it.
#include "hrd_sim/SimOptions.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tools::hrd_sim {
namespace {

using Args = std::vector<std::string>;
using Kind = ControlCommand::Kind;

Options ParseOk(const Args& args) {
  std::string error;
  std::optional<Options> options = ParseOptions(args, error);
  EXPECT_TRUE(options.has_value()) << error;
  EXPECT_EQ(error, "");
  return options.value_or(Options{});
}

std::string ParseError(const Args& args) {
  std::string error;
  EXPECT_FALSE(ParseOptions(args, error).has_value());
  return error;
}

TEST(SimOptionsTest, NoArgumentsGiveTheDefaultRadio) {
  const Options options = ParseOk({});
  EXPECT_EQ(options.items, DefaultItems());
  EXPECT_EQ(options.items.at(kItemHertz), "14070000");
  EXPECT_EQ(options.items.at(kItemMode), "USB");
  EXPECT_TRUE(options.changesAfterRequest.empty());
  EXPECT_FALSE(options.help);
}

TEST(SimOptionsTest, SetChangesKnownItemsUnderTheirUsualSpellingAndAddsNewOnes) {
  const Options options = ParseOk({"--set", "HRD_HERTZ_B=3573000", "--set", "hrd_mode=LSB",
                                   "--set", "HRD_SMETER=S9", "--set", "HRD_TX="});
  EXPECT_EQ(options.items.at(kItemHertzB), "3573000");
  const auto mode = options.items.find(kItemMode);
  ASSERT_NE(mode, options.items.end());
  EXPECT_EQ(mode->first, "HRD_MODE");
  EXPECT_EQ(mode->second, "LSB");
  EXPECT_EQ(options.items.at("HRD_SMETER"), "S9");
  EXPECT_EQ(options.items.at(kItemTx), "");
  EXPECT_EQ(options.items.size(), DefaultItems().size() + 1);
}

TEST(SimOptionsTest, SetValueRunsToTheEndWithItsBlanksAndEqualsSigns) {
  const Options options = ParseOk({"--set", "HRD_BUTTON_STATUS=Split=on Dual=off"});
  EXPECT_EQ(options.items.at(kItemButtonStatus), "Split=on Dual=off");
}

TEST(SimOptionsTest, ChangeAfterRequestIsKeptApartFromTheStartingValues) {
  const Options options = ParseOk({"--change-after-request", "HRD_HERTZ=7074000"});
  EXPECT_EQ(options.items.at(kItemHertz), "14070000");
  ASSERT_EQ(options.changesAfterRequest.size(), 1u);
  EXPECT_EQ(options.changesAfterRequest.at("hrd_hertz"), "7074000");
}

TEST(SimOptionsTest, LogControlAndHelp) {
  const Options options = ParseOk({"--log", "sim.log", "--control", "control.txt"});
  EXPECT_EQ(options.logPath, "sim.log");
  EXPECT_EQ(options.controlPath, "control.txt");
  for (const char* help : {"--help", "-h", "/?"}) EXPECT_TRUE(ParseOk({help}).help) << help;
}

TEST(SimOptionsTest, ConnectDelayForEveryConnectOrOnlyTheFirstFew) {
  EXPECT_EQ(ParseOk({}).connectDelay.ms, 0u);

  ConnectDelay every = ParseOk({"--connect-delay", "400"}).connectDelay;
  EXPECT_FALSE(every.first.has_value());
  for (int connect = 0; connect < 5; ++connect) EXPECT_EQ(every.Next(), 400u) << connect;

  ConnectDelay firstTwo = ParseOk({"--connect-delay-first", "2", "--connect-delay", "1500"}).connectDelay;
  EXPECT_EQ(firstTwo.Next(), 1500u);
  EXPECT_EQ(firstTwo.Next(), 1500u);
  EXPECT_EQ(firstTwo.Next(), 0u);
  EXPECT_EQ(firstTwo.Next(), 0u);

  ConnectDelay none = ParseOk({"--connect-delay", "1500", "--connect-delay-first", "0"}).connectDelay;
  EXPECT_EQ(none.Next(), 0u);
}

TEST(SimOptionsTest, BadCommandLinesSayWhatIsWrong) {
  EXPECT_EQ(ParseError({"--verbose"}), "unknown option \"--verbose\"");
  EXPECT_EQ(ParseError({"HRD_HERTZ=1"}), "unknown option \"HRD_HERTZ=1\"");
  EXPECT_EQ(ParseError({"--log"}), "--log needs a value");
  EXPECT_EQ(ParseError({"--set", "HRD_MODE=USB", "--set"}), "--set needs a value");
  EXPECT_EQ(ParseError({"--set", "HRD_MODE"}), "--set wants ITEM=VALUE, not \"HRD_MODE\"");
  EXPECT_EQ(ParseError({"--set", "=USB"}), "--set wants ITEM=VALUE, not \"=USB\"");
  EXPECT_EQ(ParseError({"--change-after-request", "7074000"}),
            "--change-after-request wants ITEM=VALUE, not \"7074000\"");
  EXPECT_EQ(ParseError({"--connect-delay"}), "--connect-delay needs a value");
  EXPECT_EQ(ParseError({"--connect-delay", "1.5s"}), "--connect-delay wants milliseconds, not \"1.5s\"");
  EXPECT_EQ(ParseError({"--connect-delay", "-400"}), "--connect-delay wants milliseconds, not \"-400\"");
  EXPECT_EQ(ParseError({"--connect-delay", "1234567890"}),
            "--connect-delay wants milliseconds, not \"1234567890\"");
  EXPECT_EQ(ParseError({"--connect-delay", "400", "--connect-delay-first", "one"}),
            "--connect-delay-first wants a count, not \"one\"");
  EXPECT_EQ(ParseError({"--connect-delay-first", "1"}), "--connect-delay-first needs a --connect-delay above 0");
  EXPECT_EQ(ParseError({"--connect-delay", "0", "--connect-delay-first", "1"}),
            "--connect-delay-first needs a --connect-delay above 0");
}

TEST(ControlLineTest, SetTakesTheRestOfTheLineAsTheValue) {
  ControlCommand command = ParseControl("set HRD_BUTTON_STATUS Split=on Dual=off\n");
  EXPECT_EQ(command.kind, Kind::Set);
  EXPECT_EQ(command.item, "HRD_BUTTON_STATUS");
  EXPECT_EQ(command.value, "Split=on Dual=off");

  command = ParseControl("  SET\tHRD_TX on\r\n");
  EXPECT_EQ(command.kind, Kind::Set);
  EXPECT_EQ(command.item, "HRD_TX");
  EXPECT_EQ(command.value, "on");
  EXPECT_EQ(command.line, "  SET\tHRD_TX on");
}

TEST(ControlLineTest, SetWithoutValueEmptiesTheItem) {
  for (const char* line : {"set HRD_MODE", "set HRD_MODE "}) {
    const ControlCommand command = ParseControl(line);
    EXPECT_EQ(command.kind, Kind::Set) << line;
    EXPECT_EQ(command.item, "HRD_MODE") << line;
    EXPECT_EQ(command.value, "") << line;
  }
}

TEST(ControlLineTest, SwitchesAndQuit) {
  EXPECT_EQ(ParseControl("ack").kind, Kind::Ack);
  EXPECT_EQ(ParseControl(" Refuse \r").kind, Kind::Refuse);
  EXPECT_EQ(ParseControl("QUIT").kind, Kind::Quit);
  const ControlCommand stall = ParseControl("stall 1500");
  EXPECT_EQ(stall.kind, Kind::Stall);
  EXPECT_EQ(stall.ms, 1500u);
  EXPECT_EQ(ParseControl("stall 0").kind, Kind::Stall);
}

TEST(ControlLineTest, SweepTakesCountStartStepAndChangesPerTurn) {
  const ControlCommand command = ParseControl("Sweep\t3000 7000000 10  250\r\n");
  ASSERT_EQ(command.kind, Kind::Sweep) << command.problem;
  EXPECT_EQ(command.sweep.count, 3000u);
  EXPECT_EQ(command.sweep.HertzAt(0), 7000000u);
  EXPECT_EQ(command.sweep.HertzAt(2999), 7029990u);
  EXPECT_EQ(command.sweep.perTurn, 250u);
  EXPECT_EQ(ParseControl("sweep 5 14000000 1").sweep.perTurn, 100u);
  // The last value just fits 32 bits.
  EXPECT_EQ(ParseControl("sweep 2 999999999 999999999").kind, Kind::Sweep);
}

TEST(SimOptionsTest, StampsFile) {
  EXPECT_EQ(ParseOk({"--stamps", "stamps.txt"}).stampsPath, "stamps.txt");
  EXPECT_EQ(ParseOk({}).stampsPath, "");
}

TEST(ControlLineTest, BlankLinesAreNoCommand) {
  for (const char* line : {"", "\n", "\r\n", "  \t \r\n"}) {
    EXPECT_EQ(ParseControl(line).kind, Kind::Blank) << '"' << line << '"';
  }
}

struct BadLine {
  const char* line;
  const char* problem;
};

constexpr char kSweepProblem[] = "sweep needs COUNT FROM_HZ STEP_HZ [PER_TURN], PER_TURN above 0";

class BadControlLineTest : public ::testing::TestWithParam<BadLine> {};

TEST_P(BadControlLineTest, IsRefusedWithItsReason) {
  const ControlCommand command = ParseControl(GetParam().line);
  EXPECT_EQ(command.kind, Kind::Invalid);
  EXPECT_EQ(command.problem, GetParam().problem);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadControlLineTest,
    ::testing::Values(BadLine{"set", "set needs an item name"},
                      BadLine{"set  HRD_MODE USB", "set needs an item name"},
                      BadLine{"stall", "stall needs milliseconds"},
                      BadLine{"stall soon", "stall needs milliseconds"},
                      BadLine{"stall -5", "stall needs milliseconds"},
                      BadLine{"stall 1234567890", "stall needs milliseconds"},
                      BadLine{"sweep", kSweepProblem},
                      BadLine{"sweep 10 7000000", kSweepProblem},
                      BadLine{"sweep 10 7000000 10 0", kSweepProblem},
                      BadLine{"sweep 10 7000000 10 5 5", kSweepProblem},
                      BadLine{"sweep ten 7000000 10", kSweepProblem},
                      BadLine{"sweep 10 999999999 999999999", kSweepProblem},
                      BadLine{"ack now", "unknown command"},
                      BadLine{"quit please", "unknown command"},
                      BadLine{"frqa 14070000", "unknown command"}));

}  // namespace
}  // namespace tools::hrd_sim
