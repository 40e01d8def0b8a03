// Fuzzes the settings getters and the window placement over whatever text the settings
// store holds: a user's hand edits, another version's values, another region's numbers.
//
// Input, read with FuzzedDataProvider: the regional format, the getter and its stored text
// (or none) and default; then the stored placement of a form (left, top, width, height,
// window state, dual monitor; each text or none), whether the form is sizable, the display's
// DPI and monitors.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "base/Text.h"
#include "common/Conversions.h"

namespace bridge::fuzz {
namespace {

using common::NumberFormat;
constexpr const char* kApp = "Tavix_HRD_Bridge";

std::optional<std::string> MaybeText(FuzzedDataProvider& input) {
  if (!input.ConsumeBool()) return std::nullopt;
  return input.ConsumeRandomLengthString(64);
}

/// A plain whole number of at most nine digits, read without the conversions.
std::optional<long long> PlainInteger(const std::string& text) {
  const std::size_t digits = text.rfind('-', 0) == 0 ? 1 : 0;
  if (text.size() == digits || text.size() - digits > 9 ||
      text.find_first_not_of("0123456789", digits) != std::string::npos)
    return std::nullopt;
  return std::stoll(text);
}

template <typename T>
std::optional<T> Converted(const std::string& text, T (*convert)(std::string_view, const NumberFormat&),
                           const NumberFormat& format, std::int32_t* failure = nullptr) {
  try {
    return convert(text, format);
  } catch (const common::Failure& error) {
    if (failure) *failure = error.Code();
    return std::nullopt;
  }
}

/// One getter: the stored text converted, else the default converted, else a report naming
/// the setting and 0.
template <typename T>
void CheckGetter(CommonOnFakes& services, const char* name,
                 T (common::Common::*getter)(const std::string&, const std::string&, const std::string&,
                                             const std::string&),
                 T (*convert)(std::string_view, const NumberFormat&), const std::optional<std::string>& stored,
                 const std::string& defaultValue) {
  const NumberFormat format = services.common.Format();
  if (stored) services.fake.settings.Save(kApp, "Windows", "Key", *stored);
  services.common.reports.clear();
  const T result = (services.common.*getter)(kApp, "Windows", "Key", defaultValue);

  std::int32_t failure = 0;
  const std::optional<T> fromDefault = Converted(defaultValue, convert, format, &failure);
  const std::optional<T> fromStored = stored ? Converted(*stored, convert, format) : std::nullopt;
  auto shown = [&] {
    return std::string(name) + " over " + (stored ? Quote(*stored) : std::string("nothing")) + ", default " +
           Quote(defaultValue) + ", gave " + std::to_string(result);
  };
  std::vector<Report> wanted;
  if (!fromDefault) {
    wanted.push_back({failure, "Common." + std::string(name) + ", SectionName = Windows, Key = Key, theSetting = " +
                                   stored.value_or(defaultValue) + ", DefaultValue = " + defaultValue});
    Check(result == T{}, shown);
  } else {
    Check(result == (fromStored ? *fromStored : *fromDefault), shown);
  }
  Check(services.common.reports == wanted, [&] { return shown() + ", reporting otherwise than expected"; });
  if (!stored || !fromDefault) return;
  // Values as the program writes them read back as they are.
  if (const std::optional<long long> plain = PlainInteger(*stored); plain && *plain >= -32768 && *plain <= 32767)
    Check(result == static_cast<T>(*plain), [&] { return shown() + ", not the stored number"; });
}

void CheckPlacement(FuzzedDataProvider& input, const NumberFormat& format) {
  CommonOnFakes services;
  services.fake.system.numberFormat = format;
  const char* const kKeys[] = {"ProbeLeft", "ProbeTop", "ProbeWidth", "ProbeHeight", "ProbeWindowState"};
  std::optional<std::string> stored[5];
  for (int i = 0; i < 5; ++i) {
    stored[i] = MaybeText(input);
    if (stored[i]) services.fake.settings.Save(kApp, "Windows", kKeys[i], *stored[i]);
  }
  if (const std::optional<std::string> dual = MaybeText(input))
    services.fake.settings.Save(kApp, "Windows", "DualMonitor", *dual);
  const bool sizable = input.ConsumeBool();
  const int dpis[] = {96, 120, 144, 192};
  services.fake.system.dpi = dpis[input.ConsumeIntegralInRange(0, 3)];
  switch (input.ConsumeIntegralInRange(0, 2)) {
    case 1:
      services.fake.system.monitors.push_back({1280, 0, 2560, 1024});
      break;
    case 2:
      services.fake.system.monitors.push_back({-1920, -200, 0, 880});
      break;
    default:
      break;
  }

  services.common.Initialize();
  std::unique_ptr<platform::Window> form =
      services.fake.ui.CreateForm(platform::WindowSpec{"Probe", "Probe", 4800, 3600, {}, false, sizable});
  form->SetLeft(720);
  form->SetTop(720);
  form->SetWidth(4800);
  form->SetHeight(3600);
  services.common.reports.clear();
  services.common.RestoreWindowPosition(*form);

  const double screenWidth = 1280.0 * 1440 / services.fake.system.dpi;
  const double screenHeight = 1024.0 * 1440 / services.fake.system.dpi;
  auto shown = [&] {
    std::string text = "RestoreWindowPosition over";
    for (const auto& value : stored) text += " " + (value ? Quote(*value) : std::string("-"));
    return text + (services.common.DualMonitor() ? " (dual monitor)" : "") + " put the form at " +
           std::to_string(form->Left()) + ", " + std::to_string(form->Top()) + " sized " +
           std::to_string(form->Width()) + " x " + std::to_string(form->Height());
  };

  // The window state falls back to normal for a stored text that is no number or too large;
  // a number outside the three states is reported.
  const std::optional<std::int16_t> state =
      stored[4] ? Converted<std::int16_t>(*stored[4], common::ToInteger16, format) : std::nullopt;
  std::vector<Report> wanted;
  if (state && (*state < 0 || *state > 2)) wanted.push_back({5, "Common.RestoreWindowPosition"});
  Check(services.common.reports == wanted, [&] { return shown() + ", reporting otherwise than expected"; });
  if (wanted.empty())
    Check(static_cast<int>(form->State()) == state.value_or(0), [&] { return shown() + ", in the wrong state"; });

  auto storedOr = [&](int i, std::int32_t fallback) {
    if (!stored[i]) return fallback;
    return Converted<std::int32_t>(*stored[i], common::ToInteger32, format).value_or(fallback);
  };
  const std::int32_t left = storedOr(0, 720);
  const std::int32_t top = storedOr(1, 720);
  if (!services.common.DualMonitor()) {
    // Without a second monitor the form stays on the primary screen.
    Check(form->Left() >= 0 && form->Left() <= 0.95 * screenWidth && form->Top() >= 0 &&
              form->Top() <= 0.95 * screenHeight,
          [&] { return shown() + ", off the screen"; });
    Check(form->Left() == left || form->Left() == 0, [&] { return shown() + ", not where it was saved"; });
    Check(form->Top() == top || form->Top() == 0, [&] { return shown() + ", not where it was saved"; });
    if (sizable)
      Check(form->Width() >= 0 && form->Width() <= 1.1 * screenWidth && form->Height() >= 0 &&
                form->Height() <= 1.1 * screenHeight,
            [&] { return shown() + ", larger than the screen"; });
  } else {
    // A rectangle on no monitor opens cascaded from the primary corner.
    Check((form->Left() == left && form->Top() == top) || (form->Left() == 360 && form->Top() == 360),
          [&] { return shown() + ", neither where it was saved nor cascaded"; });
    if (sizable) Check(form->Width() >= 0 && form->Height() >= 0, [&] { return shown() + ", with a negative size"; });
  }
  if (!sizable)
    Check(form->Width() == 4800 && form->Height() == 3600, [&] { return shown() + ", resized though fixed"; });
}

}  // namespace
}  // namespace bridge::fuzz

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  bridge::fuzz::AbortOnTestFailures();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace bridge::fuzz;
  FuzzedDataProvider input(data, size);
  const bridge::common::NumberFormat format = FormatFor(input.ConsumeIntegral<std::uint8_t>());
  {
    CommonOnFakes services;
    services.fake.system.numberFormat = format;
    services.common.Initialize();
    services.common.SetDebug(input.ConsumeBool());
    const int getter = input.ConsumeIntegralInRange(0, 2);
    const std::optional<std::string> stored = MaybeText(input);
    const std::string defaultValue = input.ConsumeRandomLengthString(64);
    using bridge::common::Common;
    switch (getter) {
      case 0:
        CheckGetter<std::int16_t>(services, "GetIntegerSetting", &Common::GetIntegerSetting,
                                  bridge::common::ToInteger16, stored, defaultValue);
        break;
      case 1:
        CheckGetter<std::int32_t>(services, "GetLongSetting", &Common::GetLongSetting, bridge::common::ToInteger32,
                                  stored, defaultValue);
        break;
      default:
        CheckGetter<bool>(services, "GetBooleanSetting", &Common::GetBooleanSetting, bridge::common::ToBoolean, stored,
                          defaultValue);
        break;
    }
  }
  CheckPlacement(input, format);
  return 0;
}
