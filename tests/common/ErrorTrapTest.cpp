#include "common/ErrorTrap.h"

#include <gtest/gtest.h>

#include <new>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace bridge::common {
namespace {

class RecordingReporter : public ErrorReporter {
 public:
  void ReportError(std::int32_t code, std::string_view name) noexcept override {
    reports.emplace_back(code, std::string(name));
  }
  std::vector<std::pair<std::int32_t, std::string>> reports;
};

using Report = std::pair<std::int32_t, std::string>;

class DescribeTest : public ::testing::TestWithParam<std::pair<std::int32_t, const char*>> {};

TEST_P(DescribeTest, GivesTheRuntimeText) { EXPECT_EQ(Describe(GetParam().first), GetParam().second); }

INSTANTIATE_TEST_SUITE_P(
    Codes, DescribeTest,
    ::testing::Values(std::pair{5, "Invalid procedure call or argument"}, std::pair{6, "Overflow"},
                      std::pair{7, "Out of memory"}, std::pair{9, "Subscript out of range"},
                      std::pair{13, "Type mismatch"}, std::pair{51, "Internal error"},
                      std::pair{52, "Bad file name or number"}, std::pair{53, "File not found"},
                      std::pair{70, "Permission denied"}, std::pair{75, "Path/File access error"},
                      std::pair{282, "No foreign application responded to a DDE initiate"},
                      std::pair{285, "Foreign application won't perform DDE method or operation"},
                      std::pair{286, "Timeout while waiting for DDE response"},
                      std::pair{0, "Application-defined or object-defined error"},
                      std::pair{1234, "Application-defined or object-defined error"}));

template <typename Thrown>
std::exception_ptr Caught(Thrown thrown) {
  try {
    throw thrown;
  } catch (...) {
    return std::current_exception();
  }
}

TEST(CodeOfTest, MapsEachKindOfException) {
  EXPECT_EQ(CodeOf(Caught(Failure(RunError::BadFileNameOrNumber))), 52);
  EXPECT_EQ(CodeOf(Caught(Failure(std::int32_t{1234}))), 1234);
  EXPECT_EQ(CodeOf(Caught(std::bad_alloc())), 7);
  EXPECT_EQ(CodeOf(Caught(std::out_of_range("index"))), 51);
  EXPECT_EQ(CodeOf(Caught(42)), 51);
  EXPECT_EQ(CodeOf(nullptr), 51);
}

TEST(TrapTest, FailureSkipsTheRestAndIsReportedOnce) {
  RecordingReporter reporter;
  std::vector<int> steps;
  Trap(reporter, "LoadSettings", [&] {
    steps.push_back(1);
    throw Failure(RunError::FileNotFound);
    steps.push_back(2);
  });
  Trap(reporter, "Tick", [&] { steps.push_back(3); });
  Trap(reporter, "Parse", [] { (void)std::vector<int>{}.at(3); });
  EXPECT_EQ(steps, (std::vector<int>{1, 3}));
  EXPECT_EQ(reporter.reports, (std::vector<Report>{{53, "LoadSettings"}, {51, "Parse"}}));
}

TEST(TrapTest, TrapOrReturnsFallbackOnlyOnFailure) {
  RecordingReporter reporter;
  EXPECT_EQ(TrapOr(reporter, "Read", -1, []() -> int { throw Failure(RunError::DdeTimeout); }), -1);
  EXPECT_EQ(TrapOr(reporter, "Read", -1, [] { return 17; }), 17);
  EXPECT_EQ(reporter.reports, (std::vector<Report>{{286, "Read"}}));
}

TEST(TrapTest, IgnoredStepFailsSilentlyAndTheProcedureGoesOn) {
  RecordingReporter reporter;
  std::vector<int> steps;
  Trap(reporter, "Shutdown", [&] {
    Ignore([&] {
      steps.push_back(1);
      throw Failure(RunError::PermissionDenied);
      steps.push_back(2);
    });
    Ignore([] { throw std::runtime_error("closed"); });
    steps.push_back(3);
  });
  EXPECT_EQ(steps, (std::vector<int>{1, 3}));
  EXPECT_TRUE(reporter.reports.empty());
}

}  // namespace
}  // namespace bridge::common
