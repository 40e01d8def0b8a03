// The tagged-record parser: the records the suite sends, and one at the 100-field limit.
#include <benchmark/benchmark.h>

#include <string>

#include "common/Common.h"
#include "common/LocaleInfo.h"
#include "common/UTC.h"
#include "platform/sim/FakePlatform.h"
#include "server/DDECommon.h"

namespace bridge::benchmarks {
namespace {

struct ParserOnFakes {
  platform::sim::FakePlatform fake;
  platform::Platform platform = fake.Get();
  common::UTC utc{fake.clock};
  common::Common common{platform, utc, locale};
  common::LocaleInfo locale{fake.system, common};
  server::DDECommon parser{fake.ui, common};
};

std::string HundredFields() {
  std::string record;
  for (int i = 0; i < 100; ++i) record += "<f" + std::to_string(i) + ":5>" + std::to_string(10000 + i);
  return record;
}

void ParseRecord(benchmark::State& state, const std::string& record) {
  ParserOnFakes on;
  for (auto _ : state) {
    on.parser.ParseRecord(record);
    benchmark::DoNotOptimize(on.parser.GetToken(1));
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * record.size()));
}

BENCHMARK_CAPTURE(ParseRecord, FrequencyAndMode, std::string("<xcvrfreq:8>14025.00<xcvrmode:2>CW"));
BENCHMARK_CAPTURE(ParseRecord, SetModeArgument, std::string("<xcvrsetmodearg:3>usb"));
BENCHMARK_CAPTURE(ParseRecord, HundredFields, HundredFields());

}  // namespace
}  // namespace bridge::benchmarks
