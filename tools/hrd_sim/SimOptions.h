// The simulator's command line, its exit codes, and the control commands a script sends it
// while it runs. Portable: no Windows here, so it is unit-tested natively.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RadioModel.h"

namespace tools::hrd_sim {

enum ExitCode : int {
  kExitOk = 0,
  kExitUsage = 1,        // bad command line
  kExitDdeInit = 2,      // DdeInitialize or a string handle failed
  kExitRegister = 3,     // DdeNameService would not register the service
  kExitStartFailed = 4,  // window, log file or control thread could not be set up
};

/// How long the server keeps a client waiting before it accepts a connect: `ms` for each
/// of the first `first` connects, for every one when `first` is unset, none after them.
struct ConnectDelay {
  std::uint32_t ms = 0;
  std::optional<std::uint32_t> first;
  std::uint32_t connects = 0;  // connects asked for so far

  /// The wait for the connect being asked for now; counts it.
  std::uint32_t Next();
};

/// What the command line asks for.
struct Options {
  ItemValues items = DefaultItems();
  ChangesAfterRequest changesAfterRequest;
  ConnectDelay connectDelay;
  std::string logPath;
  std::string controlPath;
  std::string stampsPath;  // --stamps: time stamps of EXECUTEs and changes for benchmarks
  bool help = false;
};

/// Prints the usage text, the options and control commands included.
void PrintUsage(std::FILE* stream);

/// Parses the arguments after the program's name; nullopt with `error` set (without the
/// "hrd_sim: " prefix) when one is wrong.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error);

/// A burst of frequency changes: HRD_HERTZ takes `count` values from `fromHz` on, `stepHz`
/// apart, `perTurn` of them each time the simulator's message loop turns.
struct Sweep {
  std::uint32_t count = 0;
  std::uint32_t fromHz = 0;
  std::uint32_t stepHz = 0;
  std::uint32_t perTurn = 100;

  /// The value of change `index` (0-based).
  std::uint32_t HertzAt(std::uint32_t index) const { return fromHz + index * stepHz; }
};

/// One line of control input, parsed.
struct ControlCommand {
  enum class Kind { Blank, Set, Ack, Refuse, Stall, Sweep, Quit, Invalid };
  Kind kind = Kind::Blank;
  std::string line;          // the line without its line end, as it is logged
  std::string item;          // Set
  std::string value;         // Set: everything after the blank that ends the item, maybe empty
  std::uint32_t ms = 0;      // Stall
  Sweep sweep;               // Sweep
  std::string problem;       // Invalid: what is wrong
};

/// Parses "set ITEM VALUE", "ack", "refuse", "stall MS", "sweep COUNT FROM_HZ STEP_HZ
/// [PER_TURN]" and "quit" (verbs in any case);
/// a line of blanks only is Blank.
ControlCommand ParseControl(std::string_view rawLine);

}  // namespace tools::hrd_sim
