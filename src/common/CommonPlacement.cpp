// Saving and restoring a form's position, size and window state.
#include <cmath>
#include <cstdio>
#include <string>

#include "common/Common.h"
#include "common/ProgramIdentity.h"

namespace bridge::common {
namespace {

constexpr double kTwipsPerInch = 1440;
constexpr std::int16_t kCascadeStep = 360;
constexpr const char* kSection = "Windows";

/// Rounds to the nearest whole number, ties to even, as the runtime's conversions do.
std::int32_t RoundHalfEven(double value) { return static_cast<std::int32_t>(std::nearbyint(value)); }

/// The text the runtime writes for a single-precision value: up to 7 significant digits.
std::string SingleText(double value, const NumberFormat& format) {
  char digits[32];
  std::snprintf(digits, sizeof digits, "%.7g", static_cast<double>(static_cast<float>(value)));
  return NumberToText(ToDouble(digits, NumberFormat{".", ""}), format);
}

platform::WindowState StateFrom(std::int16_t value) {
  if (value < 0 || value > 2) throw Failure(RunError::InvalidProcedureCall);
  return static_cast<platform::WindowState>(value);
}

}  // namespace

double Common::ScreenWidth() {
  const platform::PixelRect screen = platform_.system.PrimaryScreen();
  return (screen.right - screen.left) * kTwipsPerInch / platform_.system.ScreenDpiX();
}

double Common::ScreenHeight() {
  const platform::PixelRect screen = platform_.system.PrimaryScreen();
  return (screen.bottom - screen.top) * kTwipsPerInch / platform_.system.ScreenDpiY();
}

std::int32_t Common::ReasonableLeft(std::int32_t left) {
  return TrapOr(*this, "Common.ReasonableLeft", std::int32_t{0}, [&] {
    return dualMonitor_ || (left >= 0 && left <= 0.95 * ScreenWidth()) ? left : 0;
  });
}

std::int32_t Common::ReasonableTop(std::int32_t top) {
  return TrapOr(*this, "Common.ReasonableTop", std::int32_t{0}, [&] {
    return dualMonitor_ || (top >= 0 && top <= 0.95 * ScreenHeight()) ? top : 0;
  });
}

std::int32_t Common::ReasonableWidth(std::int32_t width) {
  return TrapOr(*this, "Common.ReasonableWidth", std::int32_t{0}, [&] {
    if (width < 0 || (width > 1.1 * ScreenWidth() && !dualMonitor_)) return RoundHalfEven(ScreenWidth() / 2);
    return width;
  });
}

std::int32_t Common::ReasonableHeight(std::int32_t height) {
  return TrapOr(*this, "Common.ReasonableHeight", std::int32_t{0}, [&] {
    if (height < 0 || (height > 1.1 * ScreenHeight() && !dualMonitor_)) return RoundHalfEven(ScreenHeight() / 2);
    return height;
  });
}

void Common::RestoreWindowPosition(platform::Window& form) {
  Trap(*this, "Common.RestoreWindowPosition", [&] {
    const NumberFormat format = Format();
    const std::string& name = form.Name();
    form.SetState(platform::WindowState::Normal);
    const std::int32_t left = GetLongSetting(kProductName, kSection, name + "Left", SingleText(form.Left(), format));
    const std::int32_t top = GetLongSetting(kProductName, kSection, name + "Top", SingleText(form.Top(), format));
    const std::int32_t width = GetLongSetting(kProductName, kSection, name + "Width", SingleText(form.Width(), format));
    const std::int32_t height =
        GetLongSetting(kProductName, kSection, name + "Height", SingleText(form.Height(), format));

    // The size the window will have: a form of fixed size keeps its own, whatever was stored.
    const bool sizable = form.Sizable();
    const double newWidth = sizable ? ReasonableWidth(width) : form.Width();
    const double newHeight = sizable ? ReasonableHeight(height) : form.Height();

    if (dualMonitor_) {
      // The monitor test judges the rectangle the window will cover: a stored size the
      // window will not take (rubbish in the settings) must not pass a position far off
      // every monitor for attached.
      const double x = form.DpiX();
      const double y = form.DpiY();
      const platform::PixelRect stored{RoundHalfEven(left / kTwipsPerInch * x), RoundHalfEven(top / kTwipsPerInch * y),
                                       RoundHalfEven((left + newWidth) / kTwipsPerInch * x),
                                       RoundHalfEven((top + newHeight) / kTwipsPerInch * y)};
      if (platform_.system.RectOnAnyMonitor(stored)) {
        form.SetLeft(left);
        form.SetTop(top);
      } else {
        // A window stored on a monitor since removed opens cascaded from the primary corner.
        if (cascadeLeft_ > INT16_MAX - kCascadeStep) throw Failure(RunError::Overflow);
        cascadeLeft_ = static_cast<std::int16_t>(cascadeLeft_ + kCascadeStep);
        form.SetLeft(cascadeLeft_);
        if (cascadeTop_ > INT16_MAX - kCascadeStep) throw Failure(RunError::Overflow);
        cascadeTop_ = static_cast<std::int16_t>(cascadeTop_ + kCascadeStep);
        form.SetTop(cascadeTop_);
      }
    } else {
      form.SetLeft(ReasonableLeft(left));
      form.SetTop(ReasonableTop(top));
    }

    if (sizable) {
      form.SetWidth(newWidth);
      form.SetHeight(newHeight);
    }

    const std::int16_t state = GetIntegerSetting(kProductName, kSection, name + "Windowstate",
                                                 std::to_string(static_cast<int>(form.State())));
    form.SetState(StateFrom(state));

    if (GetDebug()) {
      DebugLog("Common.RestoreWindowPosition: " + name + ", DualMonitor = " + BooleanText(dualMonitor_));
      DebugLog("   from registry = (" + std::to_string(left) + ", " + std::to_string(top) + ", " +
               std::to_string(width) + ", " + std::to_string(height) + ")");
      DebugLog("   restored to   = (" + SingleText(form.Left(), format) + ", " + SingleText(form.Top(), format) +
               ", " + SingleText(form.Width(), format) + ", " + SingleText(form.Height(), format) + ")");
      DebugLog("   WindowState   = " + std::to_string(static_cast<int>(form.State())));
    }
  });
}

void Common::SaveWindowPosition(platform::Window& form) {
  Trap(*this, "Common.SaveWindowPosition", [&] {
    const NumberFormat format = Format();
    const std::string& name = form.Name();
    const platform::WindowState state = form.State();
    platform_.settings.Save(kProductName, kSection, name + "WindowState", std::to_string(static_cast<int>(state)));
    if (state != platform::WindowState::Normal) {
      // Only a normal window tells its normal bounds.
      form.SetState(platform::WindowState::Normal);
      platform_.ui.ProcessMessages();
      for (int pass = 0; pass < 10 && !form.Visible(); ++pass) {
        platform_.ui.Sleep(1);
        platform_.ui.ProcessMessages();
      }
    }
    platform_.settings.Save(kProductName, kSection, name + "Left", SingleText(form.Left(), format));
    platform_.settings.Save(kProductName, kSection, name + "Top", SingleText(form.Top(), format));
    platform_.settings.Save(kProductName, kSection, name + "Height", SingleText(form.Height(), format));
    platform_.settings.Save(kProductName, kSection, name + "Width", SingleText(form.Width(), format));
    // Back as the user left it: a window closed minimised must not pop up restored while
    // the program shuts down, nor tell its clients it is normal.
    form.SetState(state);
  });
}

}  // namespace bridge::common
