// The command dispatcher: a client's EXECUTE of each command family, answered, and for the
// ones that reach HRD the next turn of the message loop that sends them.
#include <benchmark/benchmark.h>

#include <string>

#include "BridgeOnFakes.h"

namespace bridge::benchmarks {
namespace {

void Execute(benchmark::State& state, const std::string& command, bool turnLoop) {
  BridgeOnFakes on;
  for (auto _ : state) {
    benchmark::DoNotOptimize(on.fake.dde.Execute("DDEServer", command));
    if (turnLoop) on.fake.ui.RunFor(1);
    on.Forget();
  }
}

BENCHMARK_CAPTURE(Execute, Test, std::string("004test"), false);
BENCHMARK_CAPTURE(Execute, UnknownWordRefused, std::string("007unknown"), false);
BENCHMARK_CAPTURE(Execute, BadNumberRefused, std::string("abctest"), false);
BENCHMARK_CAPTURE(Execute, Qsy, std::string("003qsy14025.5"), true);
BENCHMARK_CAPTURE(Execute, FreqAndModeRecord, std::string("012xcvrfreqmode<xcvrfreq:8>14025.00<xcvrmode:2>CW"),
                  true);
BENCHMARK_CAPTURE(Execute, SetModeRecord, std::string("014xcvrsetmodecmd<xcvrsetmodearg:3>usb"), true);
BENCHMARK_CAPTURE(Execute, Transmit, std::string("008transmit"), true);
BENCHMARK_CAPTURE(Execute, Receive, std::string("007receive"), true);
BENCHMARK_CAPTURE(Execute, SplitFrequency, std::string("005split14030"), true);
BENCHMARK_CAPTURE(Execute, SetSplitOn, std::string("008setspliton"), true);
BENCHMARK_CAPTURE(Execute, SetDualOn, std::string("007setdualON"), true);
BENCHMARK_CAPTURE(Execute, SequenceName, std::string("007seqname"), false);

// HRD's frequency changing: its push, the translation, the published items and the pushes
// to the linked client, then the loop's turn that shows the text.
void HrdFrequencyChange(benchmark::State& state) {
  BridgeOnFakes on;
  long long hertz = 14000000;
  for (auto _ : state) {
    hertz = hertz == 14350000 ? 14000000 : hertz + 10;
    on.hrd.Publish("HRD_HERTZ", std::to_string(hertz));
    on.fake.ui.RunFor(1);
    on.Forget();
  }
}
BENCHMARK(HrdFrequencyChange);

}  // namespace
}  // namespace bridge::benchmarks
