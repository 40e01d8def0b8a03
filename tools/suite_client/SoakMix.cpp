// The soak client's random mix of commands.
#include "SoakMix.h"

#include <array>
#include <cstdio>

namespace tools::suite_client {

namespace {

// Weights of the kinds, in the order of kKinds: mostly what a logging program sends while
// a person works (frequency and mode), some keying, now and then the rest.
struct Kind {
  const char* name;
  std::uint32_t weight;
};

constexpr std::array<Kind, 14> kKinds = {{
    {"qsy", 20},
    {"split", 6},
    {"xcvrfreqmode", 10},
    {"xcvrsetmodecmd", 10},
    {"setsplit", 6},
    {"setdual", 6},
    {"transmit", 5},
    {"receive", 5},
    {"idle", 8},          // test, seqname, seqindex, xcvrcommand, setvfoa
    {"window", 2},        // iconify, activate, resetwindows
    {"notice", 3},        // 000start, 000stop: not commands of the bridge
    {"unknown", 4},       // words the bridge does not know
    {"badnumber", 3},     // a prefix that is no number, or no command at all
    {"badparameter", 3},  // a number parameter that is empty or no number
}};

std::uint32_t TotalWeight() {
  std::uint32_t total = 0;
  for (const Kind& kind : kKinds) total += kind.weight;
  return total;
}

template <std::size_t N>
const char* Pick(SoakMix& mix, const std::array<const char*, N>& choices) {
  return choices[mix.Below(0, N - 1)];
}

}  // namespace

std::string Prefixed(const std::string& word, const std::string& parameter) {
  char prefix[8];
  std::snprintf(prefix, sizeof prefix, "%03u", static_cast<unsigned>(word.size() % 1000));
  return prefix + word + parameter;
}

SoakMix::SoakMix(std::uint32_t seed) : random_(seed) {}

std::uint32_t SoakMix::Below(std::uint32_t low, std::uint32_t high) {
  return std::uniform_int_distribution<std::uint32_t>(low, high)(random_);
}

std::vector<std::string> SoakMix::Kinds() {
  std::vector<std::string> names;
  for (const Kind& kind : kKinds) names.emplace_back(kind.name);
  return names;
}

std::string SoakMix::Frequency() {
  const std::uint32_t hz = Below(1'800'000, 29'700'000);
  char text[32];
  switch (Below(0, 3)) {
    case 0: std::snprintf(text, sizeof text, "%u", static_cast<unsigned>(hz / 1000)); break;
    case 1: std::snprintf(text, sizeof text, "%u.%u", static_cast<unsigned>(hz / 1000), static_cast<unsigned>(hz / 100 % 10)); break;
    case 2: std::snprintf(text, sizeof text, "%u.%02u", static_cast<unsigned>(hz / 1000), static_cast<unsigned>(hz / 10 % 100)); break;
    default: std::snprintf(text, sizeof text, "%u.%03u", static_cast<unsigned>(hz / 1000), static_cast<unsigned>(hz % 1000)); break;
  }
  return text;
}

std::string SoakMix::Mode() {
  static constexpr std::array<const char*, 12> kModes = {"USB", "lsb", "CW", "cw-r", "AM", "FM", "RTTY",
                                                         "rtty-r", "PKT", "DIG", "WFM", "fsk"};
  return Pick(*this, kModes);
}

SoakCommand SoakMix::Next() {
  std::uint32_t roll = Below(0, TotalWeight() - 1);
  std::size_t index = 0;
  while (roll >= kKinds[index].weight) roll -= kKinds[index++].weight;
  const std::string kind = kKinds[index].name;
  auto on = [this] {
    static constexpr std::array<const char*, 5> kWords = {"on", "ON", "off", "OFF", " on"};
    return std::string(Pick(*this, kWords));
  };
  SoakCommand command{"", true, kind};
  if (kind == "qsy") {
    command.text = Prefixed("qsy", Frequency());
  } else if (kind == "split") {
    command.text = Prefixed("split", Frequency());
  } else if (kind == "xcvrfreqmode") {
    const std::string freq = Frequency();
    const std::string mode = Mode();
    command.text = Prefixed("xcvrfreqmode", "<xcvrfreq:" + std::to_string(freq.size()) + ">" + freq +
                                                "<xcvrmode:" + std::to_string(mode.size()) + ">" + mode);
  } else if (kind == "xcvrsetmodecmd") {
    const std::string mode = Mode();
    command.text = Prefixed("xcvrsetmodecmd", "<xcvrsetmodearg:" + std::to_string(mode.size()) + ">" + mode);
  } else if (kind == "setsplit" || kind == "setdual") {
    command.text = Prefixed(kind, on());
  } else if (kind == "transmit" || kind == "receive") {
    command.text = Prefixed(kind, "");
  } else if (kind == "idle") {
    static constexpr std::array<const char*, 6> kWords = {"test", "TEST", "seqname", "seqindex", "xcvrcommand", "setvfoa"};
    command.text = Prefixed(Pick(*this, kWords), "");
  } else if (kind == "window") {
    static constexpr std::array<const char*, 4> kWords = {"iconify", "activate", "activate", "resetwindows"};
    const std::string word = Pick(*this, kWords);
    command.text = Prefixed(word, word == "resetwindows" ? std::to_string(Below(0, 4) * 360) : "");
  } else if (kind == "notice") {
    command.text = Below(0, 1) == 0 ? "000start" : "000stop";
    command.accepted = false;
  } else if (kind == "unknown") {
    static constexpr std::array<const char*, 4> kWords = {"unknown", "qs", "frequency", "setmode"};
    command.text = Prefixed(Pick(*this, kWords), "");
    command.accepted = false;
  } else if (kind == "badnumber") {
    static constexpr std::array<const char*, 3> kTexts = {"abctest", "", "x3qsy7040"};
    command.text = Pick(*this, kTexts);
    command.accepted = false;
  } else {  // badparameter
    static constexpr std::array<const char*, 4> kTexts = {"003qsy", "003qsyabc", "005split", "012resetwindowsx"};
    command.text = Pick(*this, kTexts);
    command.accepted = false;
  }
  return command;
}

}  // namespace tools::suite_client
