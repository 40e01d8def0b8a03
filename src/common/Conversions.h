// Text and number conversions of the forms runtime, in the user's regional number format.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/NumberFormat.h"

namespace bridge::common {

using base::NumberFormat;

/// Date value: days since 30 December 1899 00:00, time of day as the fraction.
using DateValue = double;

/// Text to a double: optional surrounding white space (blank, tab, CR, LF, VT, FF, no-break
/// space), optional sign, digits with the regional thousands separator allowed in the
/// integer part, the regional decimal separator, an optional exponent; an embedded NUL ends
/// the text. Throws Failure(TypeMismatch) when the text is not a number.
double ToDouble(std::string_view text, const NumberFormat& format);

/// Text to a 16-bit integer, fractions rounded half to even. Throws Failure(TypeMismatch)
/// when not a number, Failure(Overflow) when outside -32768..32767.
std::int16_t ToInteger16(std::string_view text, const NumberFormat& format);

/// Text to a 32-bit integer, as `ToInteger16` for the 32-bit range.
std::int32_t ToInteger32(std::string_view text, const NumberFormat& format);

/// Text to a Boolean: "True"/"False" in any case, or a number (0 false, any other true).
/// Throws Failure(TypeMismatch) otherwise.
bool ToBoolean(std::string_view text, const NumberFormat& format);

/// The Boolean's text form: "True" or "False".
std::string BooleanText(bool value);

/// The general number-to-text conversion: at most 15 significant digits, rounded half away
/// from zero, no trailing zeros, the decimal separator only when there is a fraction, no
/// grouping, a leading "-" for negatives, and no exponent for magnitudes from 1e-4 up to
/// (not including) 1e15.
std::string NumberToText(double value, const NumberFormat& format);

/// Formats `value` with a digit pattern made of "#", "0", "," and ".", such as
/// "###,###.000": "#" a digit shown only when significant, "0" a digit always shown,
/// "," grouping of the integer part, "." the decimal separator. Rounds half away from zero
/// on the value's 15 significant digits; a negative value that rounds to zero keeps its "-".
std::string FormatNumber(double value, std::string_view pattern, const NumberFormat& format);

/// Whether `year` has a 29 February (proleptic Gregorian, as every date value here).
bool IsLeapYear(int year);

/// The length of `month` (1..12) in a leap or a common year.
int DaysInMonth(int month, bool leapYear);

/// Whole days from 30 December 1899 to the date, negative before it. Never fails: the date
/// is not checked, a day outside its month counts on into the next or back into the last.
long long DayNumber(int year, int month, int day);

/// The date value of a calendar date and time of day (proleptic Gregorian).
/// Throws Failure(InvalidProcedureCall) for a date outside 100..9999 or a time past 23:59:59.
DateValue MakeDateValue(int year, int month, int day, int hour, int minute, int second);

/// "dd-mmm-yyyy hh:nn:ss" with English month abbreviations, to the nearest second.
std::string FormatTimeStamp(DateValue value);

}  // namespace bridge::common
