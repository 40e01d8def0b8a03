#include <gtest/gtest.h>

#include "server/DDECommon.h"
#include "support/BridgeFixture.h"

namespace bridge::server {
namespace {

class CommandRecordTest : public testing::BridgeFixture {
 protected:
  void SetUp() override { Start(); }
  DDECommon& Parser() { return app->CommonCommands(); }
  std::vector<std::pair<std::string, std::string>> Parse(const std::string& record) {
    Parser().ParseRecord(record);
    std::vector<std::pair<std::string, std::string>> tokens;
    for (std::int16_t i = 1; i <= 100; ++i) {
      Token token = Parser().GetToken(i);
      if (token.name.empty() && token.value.empty()) break;
      tokens.emplace_back(token.name, token.value);
    }
    return tokens;
  }
  using Tokens = std::vector<std::pair<std::string, std::string>>;
};

TEST_F(CommandRecordTest, SplitsFieldsByTheirDeclaredLengths) {
  EXPECT_EQ(Parse("<xcvrfreq:8>14025.00<xcvrmode:2>CW"), (Tokens{{"xcvrfreq", "14025.00"}, {"xcvrmode", "CW"}}));
  EXPECT_EQ(Parse("<a:8>14025.00<b:2>CW"), (Tokens{{"a", "14025.00"}, {"b", "CW"}}));
  EXPECT_EQ(Parse("junk<xcvrmode:2>CWjunk<xcvrfreq:4>7000"), (Tokens{{"xcvrmode", "CW"}, {"xcvrfreq", "7000"}}));
  EXPECT_EQ(Parse("<a:5><b:1>"), (Tokens{{"a", "<b:1>"}}));  // values may hold the tag characters
  EXPECT_EQ(Parse("<:2>CW"), (Tokens{{"", "CW"}}));
}

TEST_F(CommandRecordTest, MalformedRecordsEndSilentlyKeepingWhatWasFound) {
  EXPECT_EQ(Parse("<xcvrfreq:8>14025.00<EOR><xcvrmode:2>CW"), (Tokens{{"xcvrfreq", "14025.00"}}));
  EXPECT_EQ(Parse("<xcvrfreq:8>14025.00<eOr><xcvrmode:2>CW"), (Tokens{{"xcvrfreq", "14025.00"}}));
  EXPECT_EQ(Parse("<xcvrmode:3>CW"), (Tokens{{"xcvrmode", "CW"}}));
  EXPECT_EQ(Parse("<xcvrmode:x>CW"), (Tokens{{"xcvrmode", ""}}));
  EXPECT_EQ(Parse("<xcvrmode>CW"), Tokens{});
  EXPECT_EQ(Parse("<xcvrmode:2"), Tokens{});
  EXPECT_EQ(Parse(""), Tokens{});
  EXPECT_EQ(Parse("<a:-50>xyz"), (Tokens{{"a", ""}}));  // points before the start
  EXPECT_EQ(Log(), "");
}

TEST_F(CommandRecordTest, AFreshParseHidesTheTokensOfTheLastOne) {
  Parse("<a:1>1<b:1>2<c:1>3");
  EXPECT_EQ(Parse("<z:1>9"), (Tokens{{"z", "9"}}));
  EXPECT_EQ(Parser().GetToken(2).value, "");
}

TEST_F(CommandRecordTest, MoreThanAHundredFieldsKeepTheFirstHundredAndReportOnce) {
  std::string record;
  for (int i = 1; i <= 101; ++i) record += "<f:3>" + std::to_string(100 + i);
  EXPECT_EQ(Parse(record).size(), 100u);
  EXPECT_EQ(Parser().GetToken(100).value, "200");
  EXPECT_EQ(Parser().GetToken(101).value, "");
  const std::string log = Log();
  EXPECT_NE(log.find("program error 9 in module DDECommon.ParseRecord: Subscript out of range"), std::string::npos);
  EXPECT_NE(log.find("program error 9 in module DDECommon.GetToken: Subscript out of range"), std::string::npos);
}

TEST_F(CommandRecordTest, NegativeLengthIntoTheTextRepeatsUntilTheLimit) {
  EXPECT_EQ(Parse("<a:-2>b").size(), 1u);  // resumes at "2>b", which holds no tag
  EXPECT_EQ(Log(), "");
  EXPECT_EQ(Parse("<a:-6>x").size(), 100u);  // resumes at the same "<" again and again
  EXPECT_NE(Log().find("in module DDECommon.ParseRecord"), std::string::npos);
}

TEST_F(CommandRecordTest, IndexesOutsideTheTableReportAndGiveEmptyTokens) {
  Parser().GetToken(1);
  EXPECT_EQ(Log(), "");  // nothing parsed yet: empty, no report
  Parser().GetToken(0);
  EXPECT_NE(Log().find("program error 9 in module DDECommon.GetToken"), std::string::npos);
  Parser().GetToken(-3);
  EXPECT_EQ(Parser().GetToken(-3).name, "");
}

}  // namespace
}  // namespace bridge::server
