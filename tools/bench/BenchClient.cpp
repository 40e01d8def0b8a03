// bench_client: the client side of ./scripts/bench. It times DDE exchanges with the bridge
// and the HRD simulator from inside a Windows process, many samples in one loop, and
// writes them in QueryPerformanceCounter ticks, which the simulator's time stamps share.
#include <windows.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "../suite_client/ClientSupport.h"
#include "BenchCommands.h"

namespace {

struct Command {
  const char* name;
  std::size_t minArgs;
  std::size_t maxArgs;
  int (*run)(const tools::bench::Args&);
};

constexpr Command kCommands[] = {
    {"rtt", 5, 1000, tools::bench::RunRoundTrips},
    {"follow", 10, 10, tools::bench::RunFollow},
    {"watch", 6, 6, tools::bench::RunWatch},
    {"launch", 3, 6, tools::bench::RunLaunch},
};

void PrintUsage() {
  std::fputs(
      "usage: bench_client rtt SERVICE TOPIC COUNT OUT COMMAND...\n"
      "       bench_client follow SERVICE TOPIC WSERVICE WTOPIC WITEM COUNT FROM STEP OUT FORMAT\n"
      "       bench_client watch SERVICE TOPIC ITEM FINAL SECONDS OUT\n"
      "       bench_client launch EXE COUNT OUT [CAPTION SERVICE TOPIC]\n"
      "Samples go to OUT, first line FREQUENCY TICKS_PER_SECOND, times in\n"
      "QueryPerformanceCounter ticks. See tools/bench/BenchCommands.h.\n",
      stderr);
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  if (argc < 2) {
    PrintUsage();
    return 1;
  }
  for (const Command& command : kCommands) {
    if (std::strcmp(argv[1], command.name) != 0) continue;
    const tools::bench::Args args(argv + 2, argv + argc);
    if (args.size() < command.minArgs || args.size() > command.maxArgs) break;
    // Keeps DDEML's waits from hanging on messages other programs send us.
    tools::suite_client::SentMessageUnblocker unblocker;
    return command.run(args);
  }
  PrintUsage();
  return 1;
}
