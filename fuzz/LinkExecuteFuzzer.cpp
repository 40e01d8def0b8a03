// Fuzzes the command dispatcher end to end: the whole program on the in-memory platform,
// the input's commands sent as clients' EXECUTEs on topic "DDEServer", the fake HRD
// present or away, the timers fired after every command.
//
// Input: one flags byte, then lines. Flags: bit 0 HRD runs from the start, bit 1 decimal
// comma region, bits 2-3 HRD's answer time (0, 1, 20 or 1200 ms), bit 4 HRD refuses its
// commands, bit 5 debug logging, bit 6 the suite's launcher runs, bit 7 it takes 1200 ms to
// answer. A line is a client's command, except: "\x01" stops or starts
// HRD; "\x02" lets a second pass; "\x03" and a line does what that line says from inside
// HRD's handling of its next EXECUTE, "\x07" and a line at the loop's next turn after HRD has
// it, which is while the bridge waits for the answer when HRD takes its time; "\x04" with
// "F", "M" or "T" and a text has HRD publish the text as its frequency, mode or transmit
// state; "\x05" is the user closing the main window, "\x06" the session ending. Clients hold
// hot links on the published items throughout.
//
// Checked: every command is answered, accept or refuse, and a refusal of a known word comes
// with its report; nothing reaches HRD but its own commands, with frequencies as plain
// numbers and modes as the clients sent them, never more often than asked; without HRD
// nothing is sent; with HRD there all along, it ends with the latest value of every kind of
// request; what HRD publishes shows in the items translated, or not at all; at the end, with
// HRD back, the bridge still tunes and keys at once, and when the user closes its window it
// ends; the launcher hears of the start and the stop, and of nothing else.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Text.h"
#include "common/Conversions.h"
#include "hrd/HrdTranslations.h"
#include "shell/Application.h"

namespace bridge::fuzz {
namespace {

using platform::ExecuteAnswer;

constexpr char kToggleHrd = '\x01';
constexpr char kPassASecond = '\x02';
constexpr char kInsideHrd = '\x03';
constexpr char kHrdPublishes = '\x04';  // then the item's letter: F frequency, M mode, T transmit
constexpr char kUserCloses = '\x05';
constexpr char kSessionEnds = '\x06';
constexpr char kWhileHrdAnswers = '\x07';
constexpr std::int64_t kAnswerTimes[] = {0, 1, 20, 1200};

/// The command words, in the order the dispatcher compares them.
const char* const kWords[] = {"test",         "shutdown",       "iconify",  "activate",    "resetwindows", "transmit",
                              "receive",      "seqname",        "seqindex", "xcvrcommand", "qsy",          "split",
                              "xcvrfreqmode", "xcvrsetmodecmd", "setsplit", "setdual",     "setvfoa"};
/// Words whose handling cannot fail once the leading number converts.
const std::set<std::string> kNeverFail = {"test",     "shutdown", "iconify",  "activate",    "transmit",
                                          "receive",  "seqname",  "seqindex", "xcvrcommand", "xcvrsetmodecmd",
                                          "setsplit", "setdual",  "setvfoa"};

/// What a command is, told from its text alone: nothing when its number does not convert.
struct Classified {
  bool numberConverts = false;
  std::string word;  // empty: no command word matches
  std::string parameter;
};

Classified Classify(const std::string& command, const common::NumberFormat& format) {
  Classified what;
  try {
    (void)common::ToInteger16(std::string_view(command).substr(0, 3), format);
    what.numberConverts = true;
  } catch (const common::Failure&) {
    return what;
  }
  const std::string rest = command.size() > 3 ? command.substr(3) : "";
  for (const char* word : kWords) {
    const std::string_view w = word;
    if (rest.size() >= w.size() && base::ToLower(rest.substr(0, w.size())) == w) {
      what.word = word;
      what.parameter = rest.substr(w.size());
      break;
    }
  }
  return what;
}

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

/// The latest request of one kind, by arrival.
struct Latest {
  std::optional<std::string> value;
  std::uint64_t arrival = 0;
  const std::string& Note(const std::string& requested, std::uint64_t at) {
    if (at > arrival) {
      value = requested;
      arrival = at;
    }
    return requested;
  }
};

class Session {
 public:
  explicit Session(std::uint8_t flags)
      : format_(FormatFor((flags & 0x02) ? 1 : 0)),
        hrd_(fake_.ddeClient.AddPeer("HRD_RADIO_000", "HRD_CAT")),
        launcher_(fake_.ddeClient.AddPeer("TavixLauncher", "DDEClient")) {
    fake_.system.numberFormat = format_;
    hrd_.items = {{"HRD_HERTZ", "14070000"},
                  {"HRD_HERTZ_B", "7040000"},
                  {"HRD_MODE", "USB"},
                  {"HRD_TX", "off"},
                  {"HRD_BUTTON_STATUS", ""}};
    hrd_.answerAfterMs = kAnswerTimes[(flags >> 2) & 0x03];
    hrd_.refuseCommands = (flags & 0x10) != 0;
    if (flags & 0x01) hrd_.Start();
    if (flags & 0x40) launcher_.Start();
    launcher_.answerAfterMs = (flags & 0x80) ? 1200 : 0;
    hrdSteady_ = hrd_.Running() && !hrd_.refuseCommands;
    everRunning_ = hrd_.Running();
    app_ = std::make_unique<shell::Application>(platform_);
    app_->Start();
    launcherAtStart_ = launcher_.Running();
    if (flags & 0x20) app_->CommonModule().SetDebug(true);
    for (const char* item : {"RcvFreq", "XmitFreq", "Mode", "RadioMode", "RadioState", "MainWindowState"})
      fake_.dde.StartHotLink("DDEServer", item);
  }
  ~Session() { app_.reset(); }

  /// The user closes the main window, if the program still runs: it ends, and a running
  /// launcher hears "000stop". Before, the launcher heard "000start" if it ran at the start,
  /// and nothing else.
  void CloseAndCheckTheEnd() {
    bool stopExpected = !launcher_.commands.empty() && launcher_.commands.back() == "000stop";
    if (!Ended()) {
      stopExpected = launcher_.Running();
      if (platform::sim::FakeWindow* main = fake_.ui.FindForm("VelkMain")) main->Close();
      Turn(3000);
      Check(Ended(), [&] { return std::string("the program still runs after its window was closed"); });
    }
    std::vector<std::string> wanted;
    if (launcherAtStart_) wanted.push_back("000start");
    if (stopExpected) wanted.push_back("000stop");
    Check(launcher_.commands == wanted, [&] {
      std::string got;
      for (const std::string& command : launcher_.commands) got += " " + Quote(command);
      return "the launcher heard" + (got.empty() ? std::string(" nothing") : got);
    });
  }

  bool Ended() const { return fake_.ui.ended.has_value() || fake_.ui.quit; }

  /// Where a line runs: as the input comes, inside HRD's handling of an EXECUTE, or at a
  /// turn of the loop.
  enum class From { Input, InsideHrd, Loop };

  /// One line of the input.
  void Line(const std::string& line, From from = From::Input) {
    if (Ended()) return;
    insideRan_ = insideRan_ || from != From::Input;
    const char action = line.empty() ? '\0' : line[0];
    // Inside HRD's handling the bridge sits in its DDE call and runs none of its own code:
    // window events and what HRD publishes reach it from the loop, which turns only while
    // the call waits. Clients' commands come in directly, as the dispatcher's tests have them.
    if (from == From::InsideHrd && action != kToggleHrd && !IsCommand(line)) {
      fake_.ui.Post([this, line] { Line(line, From::Loop); });
      return;
    }
    if (line.size() == 1 && action == kToggleHrd) {
      hrdSteady_ = false;
      if (hrd_.Running()) {
        hrd_.Stop();
      } else {
        hrd_.Start();
        everRunning_ = true;
      }
    } else if (line.size() == 1 && action == kPassASecond) {
      Turn(1000);
    } else if (line.size() == 1 && action == kUserCloses) {
      if (platform::sim::FakeWindow* main = fake_.ui.FindForm("VelkMain")) main->Close();
      Turn(1);
    } else if (line.size() == 1 && action == kSessionEnds) {
      if (platform::sim::FakeWindow* main = fake_.ui.FindForm("VelkMain")) main->EndSession();
    } else if (action == kInsideHrd || action == kWhileHrdAnswers) {
      inside_ = line.substr(1);
      const bool posted = action == kWhileHrdAnswers;
      hrd_.duringExecute = [this, posted](const std::string&) {
        if (!inside_) return;
        std::string taken = std::move(*inside_);
        inside_.reset();
        if (posted)
          fake_.ui.Post([this, taken] { Line(taken, From::Loop); });
        else
          Line(taken, From::InsideHrd);
      };
    } else if (line.size() >= 2 && action == kHrdPublishes) {
      Publish(line[1], line.substr(2));
      Turn(1);
    } else {
      Send(line, from == From::Input);
      Turn(1);
    }
  }

  /// Whether the line is a client's command rather than one of the actions around them.
  static bool IsCommand(const std::string& line) {
    return line.empty() ||
           (line[0] != kToggleHrd && line[0] != kPassASecond && line[0] != kInsideHrd && line[0] != kHrdPublishes &&
            line[0] != kUserCloses && line[0] != kSessionEnds && line[0] != kWhileHrdAnswers);
  }

  /// With HRD there all along, HRD ends with the latest value asked for of every kind: no
  /// request was lost, however they crossed HRD's answers. Then, with HRD back and prompt, a
  /// fresh request goes out at the next turn and keying at once: nothing left the bridge stuck.
  void CheckStillServes() {
    Turn(10000);
    if (Ended()) return;
    if (hrdSteady_) {
      CheckLatest("frqa ", latestFrequency_);
      CheckLatest("frqb ", latestSplitFrequency_);
      CheckLatest("mode ", latestMode_);
      CheckLatest("butn tx=", latestTransmit_);
      CheckLatest("butn Split=", latestSplit_);
      CheckLatest("butn Dual=", latestDual_);
    }
    hrd_.duringExecute = nullptr;
    hrd_.answerAfterMs = 0;
    hrd_.refuseCommands = false;
    if (!hrd_.Running()) hrd_.Start();
    everRunning_ = true;
    Turn(2000);
    if (Ended()) return;
    const std::string kilohertz = format_.decimal == "," ? "1234,567" : "1234.567";
    Send("003qsy" + kilohertz, false);
    Turn(1);
    Check(!hrd_.commands.empty() && hrd_.commands.back() == "frqa 1234567", [&] {
      return "with HRD back, qsy did not reach it; its last command: " +
             Quote(hrd_.commands.empty() ? std::string("(none)") : hrd_.commands.back());
    });
    Send("008transmit", false);
    Check(hrd_.commands.back() == "butn tx=on", [&] { return std::string("with HRD back, transmit did not key it"); });
    CheckHrdCommands();
  }

 private:
  std::string Item(const char* name) { return fake_.dde.Request("DDEServer", name).value_or("(none)"); }

  /// HRD publishes `text` as one of its values. Where it reaches the bridge, the items show
  /// it translated; where it does not (no link, or not a number), they stay as they were.
  void Publish(char which, const std::string& text) {
    if (Ended()) return;
    const std::string rcvFreq = Item("RcvFreq"), mode = Item("Mode"), radioMode = Item("RadioMode"),
                      radioState = Item("RadioState");
    auto shown = [&](const char* item, const std::string& now) {
      return "after HRD published " + Quote(text) + ", " + item + " is " + Quote(now);
    };
    switch (which) {
      case 'F': {
        hrd_.Publish("HRD_HERTZ", text);
        std::string working;
        std::optional<std::string> translated;
        try {
          translated = hrd::FrequencyText(text, format_, working);
        } catch (const common::Failure&) {
        }
        const std::string now = Item("RcvFreq");
        Check(now == rcvFreq || now == translated, [&] { return shown("RcvFreq", now); });
        Check(Item("XmitFreq") == now, [&] { return shown("XmitFreq", Item("XmitFreq")) + ", RcvFreq " + Quote(now); });
        break;
      }
      case 'M': {
        hrd_.Publish("HRD_MODE", text);
        const hrd::ModeTranslation translated = hrd::TranslateMode(text);
        const std::string nowMode = Item("Mode"), nowRadioMode = Item("RadioMode");
        Check((nowMode == mode && nowRadioMode == radioMode) ||
                  (nowMode == translated.mode && nowRadioMode == translated.radioMode),
              [&] { return shown("Mode", nowMode) + ", RadioMode " + Quote(nowRadioMode); });
        break;
      }
      case 'T': {
        hrd_.Publish("HRD_TX", text);
        const std::string now = Item("RadioState");
        Check(now == radioState || now == hrd::RadioStateFor(text), [&] { return shown("RadioState", now); });
        break;
      }
      default:
        break;
    }
  }

  /// The last command HRD got that starts with `prefix` is `prefix` and `latest`.
  void CheckLatest(const std::string& prefix, const Latest& request) {
    const std::optional<std::string>& latest = request.value;
    if (!latest) return;
    for (auto command = hrd_.commands.rbegin(); command != hrd_.commands.rend(); ++command) {
      if (!StartsWith(*command, prefix)) continue;
      Check(*command == prefix + *latest, [&] {
        return "HRD's last " + Quote(prefix) + " command is " + Quote(*command) + ", the latest request " +
               Quote(*latest);
      });
      return;
    }
    Fail("HRD never got the request " + Quote(prefix + *latest));
  }

  void Turn(std::int64_t milliseconds) {
    if (!Ended()) fake_.ui.RunFor(milliseconds);
    CheckHrdCommands();
  }

  /// Reports under "DDEServer.LinkExecute" logged since the last call. Debug lines name the
  /// procedure too, and may hold any text a client sent, but never start as a report does.
  std::size_t NewReports() {
    std::size_t count = 0;
    for (; journalSeen_ < fake_.journal.size(); ++journalSeen_) {
      const std::string& entry = fake_.journal[journalSeen_];
      // "log ", the time stamp "dd-mmm-yyyy hh:nn:ss", then the entry.
      if (entry.size() < 41 || entry.compare(0, 4, "log ") != 0 || entry.compare(24, 17, " > program error ") != 0)
        continue;
      if (entry.find(" in module DDEServer.LinkExecute: ") != std::string::npos) ++count;
    }
    return count;
  }

  void Send(const std::string& command, bool topLevel) {
    if (Ended()) return;
    const Classified what = Classify(command, format_);
    // Requests count in the order they arrive: one sent from inside HRD's answer arrives
    // after the command HRD is answering, though it is answered before.
    const std::uint64_t arrival = ++arrivals_;
    // Keying goes to HRD before the answer, so it counts before it; it is never refused.
    if (what.numberConverts && (what.word == "transmit" || what.word == "receive")) {
      ++transmitRequests_;
      latestTransmit_.Note(what.word == "transmit" ? "on" : "off", arrival);
    }
    NewReports();
    const bool earlier = insideRan_;
    insideRan_ = false;
    const std::optional<ExecuteAnswer> answer = fake_.dde.Execute("DDEServer", command);
    const bool interleaved = insideRan_;
    insideRan_ = earlier || interleaved;
    if (!answer && Ended()) return;
    Check(answer.has_value(), [&] { return "no answer to " + Quote(command); });
    Check(*answer == ExecuteAnswer::Accept || *answer == ExecuteAnswer::Refuse,
          [&] { return "an answer neither accept nor refuse to " + Quote(command); });
    const bool accepted = *answer == ExecuteAnswer::Accept;

    if (!what.numberConverts || what.word.empty())
      Check(!accepted, [&] { return "accepted " + Quote(command) + ", which has no number or no command word"; });
    if (what.numberConverts && kNeverFail.count(what.word))
      Check(accepted, [&] { return "refused " + Quote(command) + ", whose handling cannot fail"; });
    if (topLevel && !interleaved) {
      // A refusal after a failure is reported once; an unknown word is refused silently.
      const std::size_t reports = NewReports();
      const std::size_t wanted = accepted || (what.numberConverts && what.word.empty()) ? 0 : 1;
      Check(reports == wanted, [&] {
        return "answering " + Quote(command) + " reported " + std::to_string(reports) + " time(s), expected " +
               std::to_string(wanted);
      });
    }
    if (!accepted) return;

    server::DDECommon& tokens = app_->CommonCommands();
    const auto on = [&] { return base::ToLower(what.parameter) == "on" ? "on" : "off"; };
    if (what.word == "qsy") {
      ++frequencyRequests_;
      frequencies_.insert(latestFrequency_.Note(AsSent(what.parameter), arrival));
    } else if (what.word == "split") {
      ++splitFrequencyRequests_;
      splitFrequencies_.insert(latestSplitFrequency_.Note(AsSent(what.parameter), arrival));
    } else if (what.word == "xcvrfreqmode") {
      // Read at once: the tokens are the ones of this command's record. Without a
      // frequency the mode goes alone; with neither, nothing goes.
      const std::string kilohertz = tokens.GetToken(1).value;
      const std::string mode = tokens.GetToken(2).value;
      if (!kilohertz.empty()) {
        ++frequencyRequests_;
        frequencies_.insert(latestFrequency_.Note(AsSent(kilohertz), arrival));
      }
      if (!kilohertz.empty() || !mode.empty()) {
        ++modeRequests_;
        modes_.insert(latestMode_.Note(mode, arrival));
      }
    } else if (what.word == "xcvrsetmodecmd") {
      ++modeRequests_;
      modes_.insert(latestMode_.Note(base::ToUpper(tokens.GetToken(1).value), arrival));
    } else if (what.word == "setsplit") {
      ++splitRequests_;
      latestSplit_.Note(on(), arrival);
    } else if (what.word == "setdual") {
      ++dualRequests_;
      latestDual_.Note(on(), arrival);
    }
  }

  /// Kilohertz text as HRD must get it in hertz: the number, times 1000, as plain text.
  std::string AsSent(const std::string& kilohertz) const {
    return common::NumberToText(common::ToDouble(kilohertz, format_) * 1000, format_);
  }

  /// A frequency as HRD reads it: digits, a sign, the regional decimal separator between
  /// digits; no exponent, grouping or blank.
  bool PlainNumber(const std::string& text) const {
    std::size_t at = text.rfind('-', 0) == 0 ? 1 : 0;
    const std::size_t digits = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    if (at == digits) return false;
    if (at == text.size()) return true;
    if (text.compare(at, format_.decimal.size(), format_.decimal) != 0) return false;
    at += format_.decimal.size();
    const std::size_t fraction = at;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') ++at;
    return at > fraction && at == text.size();
  }

  void CheckHrdCommands() {
    for (; checked_ < hrd_.commands.size(); ++checked_) {
      const std::string& command = hrd_.commands[checked_];
      auto bad = [&](const std::string& why) { return "HRD got " + Quote(command) + ": " + why; };
      Check(everRunning_, [&] { return bad("HRD never ran"); });
      if (StartsWith(command, "frqa ") || StartsWith(command, "frqb ")) {
        const std::string number = command.substr(5);
        Check(PlainNumber(number), [&] { return bad("not a plain number"); });
        const bool a = command[3] == 'a';
        Check((a ? frequencies_ : splitFrequencies_).count(number) != 0,
              [&] { return bad("no client asked for this frequency"); });
        Check(++(a ? frequencySends_ : splitFrequencySends_) <= (a ? frequencyRequests_ : splitFrequencyRequests_),
              [&] { return bad("more frequencies sent than asked for"); });
      } else if (StartsWith(command, "mode ")) {
        Check(modes_.count(command.substr(5)) != 0, [&] { return bad("no client asked for this mode"); });
        Check(++modeSends_ <= modeRequests_, [&] { return bad("more modes sent than asked for"); });
      } else if (command == "butn tx=on" || command == "butn tx=off") {
        Check(++transmitSends_ <= transmitRequests_, [&] { return bad("keyed more often than asked"); });
      } else if (command == "butn Split=on" || command == "butn Split=off") {
        Check(++splitSends_ <= splitRequests_, [&] { return bad("split set more often than asked"); });
      } else if (command == "butn Dual=on" || command == "butn Dual=off") {
        Check(++dualSends_ <= dualRequests_, [&] { return bad("dual set more often than asked"); });
      } else {
        Fail(bad("not one of HRD's commands"));
      }
    }
  }

  platform::sim::FakePlatform fake_;
  platform::Platform platform_ = fake_.Get();
  common::NumberFormat format_;
  platform::sim::FakePeer& hrd_;
  platform::sim::FakePeer& launcher_;
  bool launcherAtStart_ = false;
  std::unique_ptr<shell::Application> app_;
  bool everRunning_ = false;
  /// HRD ran and took its commands from the start and never went away.
  bool hrdSteady_ = false;
  std::uint64_t arrivals_ = 0;
  Latest latestFrequency_, latestSplitFrequency_, latestMode_, latestTransmit_, latestSplit_, latestDual_;
  std::optional<std::string> inside_;
  /// A line ran from inside HRD's answer or the loop's turn during the current command.
  bool insideRan_ = false;
  std::size_t checked_ = 0;
  std::size_t journalSeen_ = 0;
  std::set<std::string> frequencies_, splitFrequencies_, modes_;
  std::size_t frequencyRequests_ = 0, splitFrequencyRequests_ = 0, modeRequests_ = 0, transmitRequests_ = 0,
              splitRequests_ = 0, dualRequests_ = 0;
  std::size_t frequencySends_ = 0, splitFrequencySends_ = 0, modeSends_ = 0, transmitSends_ = 0, splitSends_ = 0,
              dualSends_ = 0;
};

}  // namespace
}  // namespace bridge::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bridge::fuzz::AbortOnTestFailures();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bridge::fuzz;
  if (size == 0) return 0;
  Session session(data[0]);
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::size_t start = 0;
  while (start <= text.size() && !session.Ended()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    session.Line(text.substr(start, end - start));
    start = end + 1;
  }
  session.CheckStillServes();
  session.CloseAndCheckTheEnd();
  return 0;
}
