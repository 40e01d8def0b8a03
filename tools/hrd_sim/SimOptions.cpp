// The simulator's command line and control commands.
#include "SimOptions.h"

#include <algorithm>

namespace tools::hrd_sim {
namespace {

std::optional<std::uint32_t> ParseNumber(std::string_view text) {
  if (!AllDigits(text) || text.size() > 9) return std::nullopt;
  return static_cast<std::uint32_t>(std::stoul(std::string(text)));
}

// "COUNT FROM_HZ STEP_HZ [PER_TURN]", blank-separated; the last value must fit 32 bits.
std::optional<Sweep> ParseSweep(std::string_view text) {
  std::vector<std::uint32_t> numbers;
  for (;;) {
    text = Trim(text);
    if (text.empty()) break;
    const std::size_t end = std::min(text.find_first_of(" \t"), text.size());
    const std::optional<std::uint32_t> number = ParseNumber(text.substr(0, end));
    if (!number) return std::nullopt;
    numbers.push_back(*number);
    text.remove_prefix(end);
  }
  if (numbers.size() != 3 && numbers.size() != 4) return std::nullopt;
  Sweep sweep{numbers[0], numbers[1], numbers[2]};
  if (numbers.size() == 4) sweep.perTurn = numbers[3];
  if (sweep.perTurn == 0) return std::nullopt;
  if (sweep.count != 0 &&
      std::uint64_t{sweep.fromHz} + std::uint64_t{sweep.count - 1} * sweep.stepHz > UINT32_MAX) {
    return std::nullopt;
  }
  return sweep;
}

}  // namespace

std::uint32_t ConnectDelay::Next() {
  const bool slow = !first || connects < *first;
  if (connects < UINT32_MAX) ++connects;
  return slow ? ms : 0;
}

void PrintUsage(std::FILE* stream) {
  std::fputs(
      "usage: hrd_sim [--set ITEM=VALUE]... [--change-after-request ITEM=VALUE]...\n"
      "               [--connect-delay MS [--connect-delay-first N]]\n"
      "               [--log FILE] [--control FILE]\n"
      "\n"
      "Serves DDE service HRD_RADIO_000, topic HRD_CAT, items (CF_TEXT) with these\n"
      "starting values, each changeable with --set:\n"
      "  HRD_HERTZ=14070000 HRD_HERTZ_B=7040000 HRD_MODE=USB HRD_TX=off HRD_BUTTON_STATUS=\n"
      "EXECUTE commands: frqa HZ, frqb HZ, mode NAME, butn tx=on|off, butn Split=on|off,\n"
      "butn Dual=on|off; anything else is acknowledged and logged as UNKNOWN.\n"
      "\n"
      "  --set ITEM=VALUE  starting value of an item (a new name adds an item)\n"
      "  --change-after-request ITEM=VALUE\n"
      "                    once, right after answering the first REQUEST for ITEM, change\n"
      "                    it to VALUE (sent to advise loops, before the client's next\n"
      "                    message is served): a radio moving just as a client links\n"
      "  --connect-delay MS\n"
      "                    take MS milliseconds to accept each connect, reading no message\n"
      "                    meanwhile: a program busy just as a client links\n"
      "  --connect-delay-first N\n"
      "                    only the first N connects are slow, later ones are quick\n"
      "  --log FILE        also write the log to FILE (emptied at start)\n"
      "  --control FILE    follow FILE: each line appended to it is a control command;\n"
      "                    what it holds at start is skipped, it may appear later\n"
      "  --stamps FILE     write TICKS EXECUTE TEXT for each EXECUTE as it arrives and\n"
      "                    TICKS CHANGE ITEM VALUE for each change as it goes to advise\n"
      "                    loops, TICKS from QueryPerformanceCounter (first line:\n"
      "                    FREQUENCY TICKS_PER_SECOND); flushed every 50 ms and at exit\n"
      "  --help            this text\n"
      "\n"
      "Control commands, from the control file, and from stdin when stdin is a pipe or a\n"
      "file (the simulator keeps running at its end):\n"
      "  set ITEM VALUE    change an item and send it to advise loops (VALUE may be empty)\n"
      "  ack               acknowledge EXECUTEs (the default)\n"
      "  refuse            answer EXECUTEs with 'not processed' (NACK), changing nothing\n"
      "  stall MS          hold each EXECUTE MS milliseconds, then acknowledge and apply it\n"
      "  sweep COUNT FROM_HZ STEP_HZ [PER_TURN]\n"
      "                    set HRD_HERTZ COUNT times, from FROM_HZ on, STEP_HZ apart,\n"
      "                    PER_TURN (default 100) changes at a time between messages;\n"
      "                    logs SWEEP START and SWEEP END, not each change\n"
      "  quit              unregister the service, end DDEML, exit 0\n"
      "\n"
      "Prints READY on stdout once the service is registered. Log lines, on stdout and in\n"
      "the log file: SECONDS_SINCE_START UTC_TIME EVENT, e.g.\n"
      "  12.345 2026-12-06T21:40:01.123Z EXECUTE frqa 14025500\n"
      "Exit codes: 0 ok, 1 bad command line, 2 DDEML failed, 3 service not registered,\n"
      "            4 other start-up failure.\n",
      stream);
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string& error) {
  Options options;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h" || arg == "/?") {
      options.help = true;
      continue;
    }
    if (arg != "--set" && arg != "--change-after-request" && arg != "--log" && arg != "--control" &&
        arg != "--stamps" &&
        arg != "--connect-delay" && arg != "--connect-delay-first") {
      error = "unknown option \"" + arg + "\"";
      return std::nullopt;
    }
    if (i + 1 >= args.size()) {
      error = arg + " needs a value";
      return std::nullopt;
    }
    const std::string& value = args[++i];
    if (arg == "--log") {
      options.logPath = value;
    } else if (arg == "--control") {
      options.controlPath = value;
    } else if (arg == "--stamps") {
      options.stampsPath = value;
    } else if (arg == "--connect-delay" || arg == "--connect-delay-first") {
      const std::optional<std::uint32_t> number = ParseNumber(value);
      if (!number) {
        error = arg + (arg == "--connect-delay" ? " wants milliseconds" : " wants a count") + ", not \"" + value + "\"";
        return std::nullopt;
      }
      if (arg == "--connect-delay") options.connectDelay.ms = *number;
      else options.connectDelay.first = *number;
    } else {
      const std::size_t equals = value.find('=');
      if (equals == 0 || equals == std::string::npos) {
        error = arg + " wants ITEM=VALUE, not \"" + value + "\"";
        return std::nullopt;
      }
      std::string item = value.substr(0, equals);
      if (arg == "--change-after-request") {
        options.changesAfterRequest[item] = value.substr(equals + 1);
        continue;
      }
      auto it = options.items.find(item);
      if (it != options.items.end()) item = it->first;  // keep the usual spelling
      options.items[item] = value.substr(equals + 1);
    }
  }
  if (options.connectDelay.first && options.connectDelay.ms == 0) {
    error = "--connect-delay-first needs a --connect-delay above 0";
    return std::nullopt;
  }
  return options;
}

ControlCommand ParseControl(std::string_view rawLine) {
  ControlCommand command;
  while (!rawLine.empty() && (rawLine.back() == '\r' || rawLine.back() == '\n')) {
    rawLine.remove_suffix(1);
  }
  command.line = std::string(rawLine);
  if (Trim(rawLine).empty()) return command;

  // VALUE of "set ITEM VALUE" is everything after the blank that ends ITEM.
  std::string_view text = rawLine;
  text.remove_prefix(text.find_first_not_of(" \t"));
  const std::size_t verbEnd = std::min(text.find_first_of(" \t"), text.size());
  const std::string_view verb = text.substr(0, verbEnd);
  const std::string_view rest = text.substr(std::min(verbEnd + 1, text.size()));
  using Kind = ControlCommand::Kind;

  if (EqualsNoCase(verb, "set")) {
    const std::size_t itemEnd = std::min(rest.find_first_of(" \t"), rest.size());
    command.item = std::string(rest.substr(0, itemEnd));
    command.value = std::string(rest.substr(std::min(itemEnd + 1, rest.size())));
    command.kind = command.item.empty() ? Kind::Invalid : Kind::Set;
    if (command.item.empty()) command.problem = "set needs an item name";
  } else if (EqualsNoCase(verb, "ack") && Trim(rest).empty()) {
    command.kind = Kind::Ack;
  } else if (EqualsNoCase(verb, "refuse") && Trim(rest).empty()) {
    command.kind = Kind::Refuse;
  } else if (EqualsNoCase(verb, "stall")) {
    const std::optional<std::uint32_t> ms = ParseNumber(Trim(rest));
    command.kind = ms ? Kind::Stall : Kind::Invalid;
    if (ms) command.ms = *ms;
    else command.problem = "stall needs milliseconds";
  } else if (EqualsNoCase(verb, "sweep")) {
    std::optional<Sweep> sweep = ParseSweep(rest);
    command.kind = sweep ? Kind::Sweep : Kind::Invalid;
    if (sweep) command.sweep = *sweep;
    else command.problem = "sweep needs COUNT FROM_HZ STEP_HZ [PER_TURN], PER_TURN above 0";
  } else if (EqualsNoCase(verb, "quit") && Trim(rest).empty()) {
    command.kind = Kind::Quit;
  } else {
    command.kind = Kind::Invalid;
    command.problem = "unknown command";
  }
  return command;
}

}  // namespace tools::hrd_sim
