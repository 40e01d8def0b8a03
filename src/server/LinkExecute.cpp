// The command dispatcher: what the suite's programs ask the server to do.
#include <cmath>
#include <string>

#include "common/ErrorTrap.h"
#include "base/Text.h"
#include "server/DDECommon.h"
#include "server/DDEServer.h"

namespace bridge::server {
namespace {

// The command words, in the order they are compared. Each is matched as a prefix of the
// text after the three-character number, so "testing" is "test" and "qsyx" is "qsy".
enum class Command {
  Test,
  Shutdown,
  Iconify,
  Activate,
  ResetWindows,
  Transmit,
  Receive,
  SeqName,
  SeqIndex,
  XcvrCommand,
  Qsy,
  Split,
  XcvrFreqMode,
  XcvrSetModeCmd,
  SetSplit,
  SetDual,
  SetVfoA,
};

struct CommandWord {
  const char* word;
  Command command;
};

constexpr CommandWord kCommandTable[] = {
    {"test", Command::Test},
    {"shutdown", Command::Shutdown},
    {"iconify", Command::Iconify},
    {"activate", Command::Activate},
    {"resetwindows", Command::ResetWindows},
    {"transmit", Command::Transmit},
    {"receive", Command::Receive},
    {"seqname", Command::SeqName},
    {"seqindex", Command::SeqIndex},
    {"xcvrcommand", Command::XcvrCommand},
    {"qsy", Command::Qsy},
    {"split", Command::Split},
    {"xcvrfreqmode", Command::XcvrFreqMode},
    {"xcvrsetmodecmd", Command::XcvrSetModeCmd},
    {"setsplit", Command::SetSplit},
    {"setdual", Command::SetDual},
    {"setvfoa", Command::SetVfoA},
};

constexpr std::size_t kNumberLength = 3;

/// A client's kilohertz as hertz for HRD. HRD reads a frequency as plain digits; a value
/// whose text would need an exponent (10^15 Hz and more, an overflow to infinity, a
/// vanishing fraction) cannot reach it, so the request fails here, before anything is
/// stored, rather than being acknowledged and then dropped by the sender.
double HertzFromKilohertz(std::string_view kilohertz, const common::NumberFormat& format) {
  const double hertz = common::ToDouble(kilohertz, format) * 1000;
  if (!std::isfinite(hertz) || common::NumberToText(hertz, format).find('E') != std::string::npos)
    throw common::Failure(common::RunError::Overflow);
  return hertz;
}

}  // namespace

void DDEServer::LinkExecute(std::string_view command, platform::ExecuteAnswer& answer, bool held) {
  common::Trap(common_, "DDEServer.LinkExecute", [&] { Dispatch(command, answer, held); });
}

void DDEServer::Dispatch(std::string_view command, platform::ExecuteAnswer& answer, bool held) {
  const common::NumberFormat format = common_.Format();
  if (!held) common_.DebugLog("DDEServer.LinkExecute: " + std::string(command));

  // The number that leads every command is checked, then thrown away.
  (void)common::ToInteger16(command.substr(0, kNumberLength), format);
  const std::string_view words = command.size() > kNumberLength ? command.substr(kNumberLength) : "";

  const CommandWord* match = nullptr;
  for (const CommandWord& entry : kCommandTable) {
    const std::string_view word = entry.word;
    if (base::EqualNoCase(words.substr(0, word.size()), word)) {
      match = &entry;
      break;
    }
  }
  if (!match) {
    answer = platform::ExecuteAnswer::Refuse;
    return;
  }
  // The parameter is everything after the word, leading blanks included.
  const std::string parameter(words.substr(std::string_view(match->word).size()));

  switch (match->command) {
    case Command::Test:
    case Command::SeqName:
    case Command::SeqIndex:
    case Command::XcvrCommand:
    case Command::SetVfoA:
      break;
    case Command::Shutdown:
      if (mainWindow_) mainWindow_->RequestShutdown();
      break;
    case Command::Iconify:
      ddeCommon_.Iconify();
      break;
    case Command::Activate:
      if (mainWindow_) mainWindow_->Activate();
      break;
    case Command::ResetWindows: {
      const std::int32_t position = common::ToInteger32(parameter, format);
      if (mainWindow_) mainWindow_->ResetWindows(position);
      break;
    }
    case Command::Transmit:
    case Command::Receive:
      if (!held) {
        answer = platform::ExecuteAnswer::Hold;
        return;
      }
      SetHRDTX(match->command == Command::Transmit);
      break;
    case Command::Qsy:
      deferred_.DeferredFreq = HertzFromKilohertz(parameter, format);
      Arm(hrd::DeferredTimer::SetFreqTimer);
      break;
    case Command::Split:
      deferred_.DeferredSplitFreq = HertzFromKilohertz(parameter, format);
      Arm(hrd::DeferredTimer::SetSplitFreqTimer);
      break;
    case Command::XcvrFreqMode: {
      ddeCommon_.ParseRecord(parameter);
      const std::string kilohertz = ddeCommon_.GetToken(1).value;
      const std::string mode = ddeCommon_.GetToken(2).value;
      if (kilohertz.empty()) {
        // No frequency given: the mode goes alone and the radio stays where it is, rather
        // than being tuned to 0 Hz. With neither, there is nothing to send.
        if (mode.empty()) break;
        deferred_.DeferredMode = mode;
        Arm(hrd::DeferredTimer::SetModeTimer);
        break;
      }
      deferred_.DeferredFreq = HertzFromKilohertz(kilohertz, format);
      deferred_.DeferredMode = mode;
      Arm(hrd::DeferredTimer::SetFreqModeTimer);
      break;
    }
    case Command::XcvrSetModeCmd:
      ddeCommon_.ParseRecord(parameter);
      deferred_.DeferredMode = base::ToUpper(ddeCommon_.GetToken(1).value);
      // The requested mode shows at once; HRD's next mode report replaces it.
      Mode().SetText(deferred_.DeferredMode);
      Arm(hrd::DeferredTimer::SetModeTimer);
      break;
    case Command::SetSplit:
      deferred_.DeferredSplit = base::EqualNoCase(parameter, "on");
      Arm(hrd::DeferredTimer::SetSplitTimer);
      break;
    case Command::SetDual:
      deferred_.DeferredDual = base::EqualNoCase(parameter, "on");
      Arm(hrd::DeferredTimer::SetDualTimer);
      break;
  }
  answer = platform::ExecuteAnswer::Accept;
}

}  // namespace bridge::server
