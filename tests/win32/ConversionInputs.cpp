// The generated inputs.
#include "ConversionInputs.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace conversions {

std::vector<TextInput> Generator::NumberTexts(const NumberFormat& format, int count) {
  std::vector<TextInput> inputs;
  const std::string other = format.decimal == "." ? "," : ".";
  const char* fixed[][2] = {
      {"empty", ""}, {"empty", " "}, {"empty", "\t"}, {"sign", "-"}, {"sign", "+"}, {"exponent", "e5"},
      {"exponent", "1e"}, {"exponent", "1e+"}, {"exponent", "1E-5"}, {"exponent", "1e309"}, {"exponent", "-1e309"},
      {"exponent", "1e-400"}, {"exponent", "1D3"}, {"exponent", "1d-3"}, {"hex", "&H7FFF"}, {"hex", "&H8000"},
      {"hex", "&HFFFF"}, {"hex", "&H10000"}, {"hex", "&hff"}, {"hex", "&H7FFFFFFF"}, {"hex", "&H80000000"},
      {"hex", "&HFFFFFFFF"}, {"hex", "&H100000000"}, {"hex", "&H"}, {"hex", "&HG"}, {"hex", "&O17"},
      {"hex", "&o777"}, {"hex", "&O"}, {"hex", "&H-1"}, {"hex", "-&H10"}, {"hex", " &H10 "}, {"hex", "0x10"},
      {"parens", "(5)"}, {"parens", "(-5)"}, {"parens", "( 5 )"}, {"parens", "(5"}, {"trailing-sign", "5-"},
      {"trailing-sign", "5+"}, {"trailing-sign", "5 -"}, {"trailing-sign", "-5-"}, {"currency", "$5"},
      {"currency", "5$"}, {"currency", "\x80" "5"}, {"currency", "5 \x80"}, {"currency", "DM5"},
      {"words", "True"}, {"words", "False"}, {"words", "true"}, {"words", "FALSE"}, {"words", " True "},
      {"words", "yes"}, {"words", "no"}, {"words", "on"}, {"words", "off"}, {"words", "#TRUE#"},
      {"words", "#FALSE#"}, {"words", "Wahr"}, {"words", "Falsch"}, {"words", "Vrai"}, {"words", "Faux"},
      {"words", "T"}, {"words", "Tru"}, {"words", "Truee"}, {"words", "-1"}, {"words", "0"}, {"words", "1"},
      {"words", "0.0"}, {"words", "NaN"}, {"words", "inf"}, {"words", "Infinity"}, {"blanks", "\x0B" "5"},
      {"blanks", "5\x0C"}, {"blanks", "\r\n5\r\n"}, {"blanks", "\xA0" "5"}, {"blanks", "5\xA0"},
      {"blanks", "- 5"}, {"blanks", "+ 5"}, {"blanks", "5 5"},
  };
  for (const auto& entry : fixed) inputs.push_back({entry[0], entry[1]});
  inputs.push_back({"nul", std::string("5\0" "5", 3)});
  // The command prefix and the values HRD and the suite send.
  for (int i = 0; i < 1000; i += 7) {
    char prefix[8];
    std::snprintf(prefix, sizeof prefix, "%03d", i);
    inputs.push_back({"prefix", prefix});
  }
  for (const char* prefix : {"00a", "0 3", " 03", "03 ", "-03", "+03", "0.3", "0,3", "3e1", "&H3", "0e0", "...", "   "})
    inputs.push_back({"prefix", prefix});
  for (const char* edge : {"32767", "32768", "-32768", "-32769", "32767.5", "32767.49", "32766.5", "-32768.5",
                           "-32768.51", "-32767.5", "2147483647", "2147483648", "-2147483648", "-2147483649",
                           "2147483647.5", "2147483646.5", "-2147483648.5", "-2147483647.5", "2147483647.4999",
                           "4294967296", "1e4", "3.2767e4", "3.27675e4", "0.5", "1.5", "2.5", "-0.5", "-1.5",
                           "-2.5", "0.49999999999999994", "-0", "+0", "-0.0", "00000", "0000000000000000000001"}) {
    std::string text = edge;
    for (char& c : text)
      if (c == '.') c = format.decimal[0];
    inputs.push_back({"edges", text});
  }

  for (int i = 0; i < count; ++i) {
    const int shape = Below(16);
    std::string integer = Digits(1 + Below(Chance(10) ? 25 : 9), Chance(80));
    std::string fraction = Chance(60) ? Digits(1 + Below(Chance(10) ? 25 : 6), false) : "";
    std::string text;
    std::string kind;
    switch (shape) {
      case 0: case 1: case 2:
        kind = "plain";
        text = integer + (fraction.empty() ? "" : format.decimal + fraction);
        break;
      case 3:
        kind = "sign";
        text = std::string(Chance(50) ? "-" : "+") + integer + (fraction.empty() ? "" : format.decimal + fraction);
        break;
      case 4:
        kind = "blanks";
        text = std::string(static_cast<std::size_t>(Below(3)), Chance(50) ? ' ' : '\t') + (Chance(30) ? "-" : "") +
               integer + (fraction.empty() ? "" : format.decimal + fraction) +
               std::string(static_cast<std::size_t>(Below(3)), Chance(50) ? ' ' : '\t');
        break;
      case 5:
        kind = "grouped";
        text = (Chance(20) ? "-" : "") + Group(integer, format.thousands) + (fraction.empty() ? "" : format.decimal + fraction);
        break;
      case 6: {
        kind = "misgrouped";
        std::string digits = integer + Digits(2, false);
        const std::size_t at = 1 + static_cast<std::size_t>(Below(static_cast<int>(digits.size()) - 1));
        text = digits.substr(0, at) + format.thousands + digits.substr(at) + (fraction.empty() ? "" : format.decimal + fraction);
        break;
      }
      case 7:
        kind = "grouped-fraction";
        text = integer + format.decimal + Group(Digits(4 + Below(4), false), format.thousands);
        break;
      case 8:
        kind = "other-decimal";
        text = integer + other + (fraction.empty() ? Digits(1 + Below(3), false) : fraction);
        break;
      case 9: {
        kind = "exponent";
        const int exponent = Chance(20) ? Below(700) - 350 : Below(40) - 20;
        text = integer + (fraction.empty() ? "" : format.decimal + fraction) + (Chance(50) ? "E" : "e") +
               (exponent < 0 ? "-" : Chance(30) ? "+" : "") + std::to_string(std::abs(exponent));
        break;
      }
      case 10:
        kind = "decimal-edges";
        text = Chance(50) ? format.decimal + Digits(1 + Below(5), false) : integer + format.decimal;
        if (Chance(20)) text = integer + format.decimal + format.decimal + Digits(1, false);
        break;
      case 11: {
        kind = "hertz";  // what HRD and the suite send: hertz, kilohertz with a fraction
        const long long hertz = 100000 + static_cast<long long>(Bits() % 450000000ULL);
        text = Chance(50) ? std::to_string(hertz)
                          : std::to_string(hertz / 1000) + format.decimal + std::to_string(hertz % 1000 / (Chance(50) ? 100 : 1));
        break;
      }
      case 12: {
        kind = "edges";
        static const long long kEdges[] = {32767, 32768, -32768, -32769, 2147483647LL, 2147483648LL, -2147483648LL,
                                           -2147483649LL};
        const long long edge = kEdges[Below(8)];
        const int half = Below(5);
        text = std::to_string(edge) + (half == 0 ? "" : format.decimal + std::string(half == 1 ? "5" : half == 2 ? "4999" : half == 3 ? "5001" : "50"));
        break;
      }
      case 13: {
        kind = "rubbish";
        static const char kAlphabet[] = "0123456789+-.,eE &H()$ \t'abcxyzTrueFals\xA0\x80\xE4";
        const int length = Below(8);
        for (int j = 0; j < length; ++j) text.push_back(kAlphabet[Below(sizeof kAlphabet - 1)]);
        break;
      }
      case 14: {
        kind = "hex";
        static const char kHex[] = "0123456789ABCDEFabcdef";
        text = Chance(80) ? "&H" : "&O";
        const int length = 1 + Below(10);
        for (int j = 0; j < length; ++j) text.push_back(text[1] == 'H' ? kHex[Below(22)] : static_cast<char>('0' + Below(8)));
        break;
      }
      default:
        kind = "half";
        text = (Chance(30) ? "-" : "") + std::to_string(Below(70000)) + format.decimal + "5";
        break;
    }
    inputs.push_back({kind, text});
  }
  return inputs;
}

std::vector<std::pair<std::string, double>> Generator::Doubles(int count) {
  std::vector<std::pair<std::string, double>> values = {
      {"zero", 0.0}, {"zero", -0.0}, {"edges", 1e15}, {"edges", 1e15 - 1}, {"edges", 999999999999999.4},
      {"edges", 999999999999999.5}, {"edges", 0.0001}, {"edges", 0.00009999999999999999}, {"edges", 0.00001},
      {"edges", 1e-5}, {"edges", 123456789012345678.0}, {"edges", 0.1 + 0.2}, {"edges", 1.0 / 3},
      {"edges", 2.0 / 3}, {"edges", 1e300}, {"edges", -1e-300}, {"edges", 4.9e-324}, {"edges", 1.7976931348623157e308},
      {"edges", 14025500.0}, {"edges", 14025000.5}, {"edges", 14025.5 * 1000}, {"edges", 0.5}, {"edges", 0.05},
      {"edges", 0.0005}, {"edges", 0.9995}, {"edges", 999.9995}, {"edges", 999999.9995}, {"edges", 1.005},
      {"edges", 2.675}, {"edges", 1e16}, {"edges", 1e-4 * 0.99999}};
  for (int i = 0; i < count; ++i) {
    switch (Below(7)) {
      case 0: values.push_back({"hertz", static_cast<double>(100000 + Bits() % 450000000ULL)}); break;
      case 1: {  // kilohertz from a client times 1000, as the dispatcher stores it
        const double kilohertz = static_cast<double>(Bits() % 450000000ULL) / std::pow(10.0, Below(4));
        values.push_back({"kilohertz-times-1000", kilohertz * 1000});
        break;
      }
      case 2: {  // any finite double
        double value;
        do {
          const std::uint64_t bits = Bits();
          std::memcpy(&value, &bits, sizeof value);
        } while (!std::isfinite(value));
        values.push_back({"any", value});
        break;
      }
      case 3: values.push_back({"scaled", Uniform(-1, 1) * std::pow(10.0, Below(40) - 20)}); break;
      case 4: {  // a half at the last kept place of the three-decimal pattern or of 15 digits
        const double base = static_cast<double>(Bits() % 100000000ULL);
        values.push_back({"halves", (base + 0.5) / std::pow(10.0, Below(8))});
        break;
      }
      case 5: values.push_back({"twips", static_cast<float>(Uniform(-5000, 40000) * (Chance(50) ? 1.0 : 15.0 / 1.25))}); break;
      default: values.push_back({"fractions", static_cast<double>(Below(100000)) / std::pow(10.0, 1 + Below(7))}); break;
    }
  }
  return values;
}

}  // namespace conversions
