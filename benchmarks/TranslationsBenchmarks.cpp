// HRD's values into the suite's: the frequency text in both kinds of region, the mode table
// and the transmit state.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "hrd/HrdTranslations.h"

namespace bridge::benchmarks {
namespace {

void FrequencyText(benchmark::State& state, const std::string& hertz, common::NumberFormat format) {
  std::string working;
  for (auto _ : state) benchmark::DoNotOptimize(hrd::FrequencyText(hertz, format, working));
}

BENCHMARK_CAPTURE(FrequencyText, PointRegion, std::string("14025500"), common::NumberFormat{".", ","});
BENCHMARK_CAPTURE(FrequencyText, CommaRegion, std::string("14025500"), common::NumberFormat{",", "."});
BENCHMARK_CAPTURE(FrequencyText, Microwave, std::string("10368123456"), common::NumberFormat{".", ","});

// Every name of the table once a pass, with the prefix rule and a miss among them.
void ModeTable(benchmark::State& state) {
  const std::vector<std::string> names = {"USB", "LSB", "CW",  "CW-R", "AM",  "FM",     "WFM", "RTTY",
                                          "RTTY-R", "FSK", "FSK-R", "PKT", "DIG", "usb", "CWL", "NONE"};
  for (auto _ : state) {
    for (const std::string& name : names) benchmark::DoNotOptimize(hrd::TranslateMode(name));
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * names.size()));
}
BENCHMARK(ModeTable);

void RadioState(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(hrd::RadioStateFor("on"));
    benchmark::DoNotOptimize(hrd::RadioStateFor("OFF"));
  }
}
BENCHMARK(RadioState);

}  // namespace
}  // namespace bridge::benchmarks
