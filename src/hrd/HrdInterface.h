// HRD's DDE interface as the bridge uses it: service, topic, items and command strings.
#pragma once

namespace bridge::hrd {

inline constexpr const char* kHrdService = "HRD_RADIO_000";
inline constexpr const char* kHrdTopic = "HRD_CAT";
/// Service and topic as a link topic.
inline constexpr const char* kHrdLinkTopic = "HRD_RADIO_000|HRD_CAT";

inline constexpr const char* kItemHertz = "HRD_HERTZ";
inline constexpr const char* kItemHertzB = "HRD_HERTZ_B";
inline constexpr const char* kItemMode = "HRD_MODE";
inline constexpr const char* kItemTx = "HRD_TX";
inline constexpr const char* kItemButtonStatus = "HRD_BUTTON_STATUS";

inline constexpr const char* kCommandFrequencyA = "frqa ";
inline constexpr const char* kCommandFrequencyB = "frqb ";
inline constexpr const char* kCommandMode = "mode ";
inline constexpr const char* kCommandTxOn = "butn tx=on";
inline constexpr const char* kCommandTxOff = "butn tx=off";
inline constexpr const char* kCommandSplitOn = "butn Split=on";
inline constexpr const char* kCommandSplitOff = "butn Split=off";
inline constexpr const char* kCommandDualOn = "butn Dual=on";
inline constexpr const char* kCommandDualOff = "butn Dual=off";

}  // namespace bridge::hrd
