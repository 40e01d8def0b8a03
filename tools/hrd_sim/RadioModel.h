// The simulated radio: HRD's names, its items and what each EXECUTE command does to them,
// and how EXECUTEs are answered. Portable: no Windows here, so it is unit-tested natively.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "../common/ToolText.h"

namespace tools::hrd_sim {

// HRD's own names, kept here rather than taken from the bridge: the simulator is an
// independent check on what the bridge believes HRD is called.
inline constexpr char kServiceName[] = "HRD_RADIO_000";
inline constexpr char kTopicName[] = "HRD_CAT";

inline constexpr char kItemHertz[] = "HRD_HERTZ";
inline constexpr char kItemHertzB[] = "HRD_HERTZ_B";
inline constexpr char kItemMode[] = "HRD_MODE";
inline constexpr char kItemTx[] = "HRD_TX";
inline constexpr char kItemButtonStatus[] = "HRD_BUTTON_STATUS";

/// Item values by name; names are matched without case, as DDE names are.
using ItemValues = std::map<std::string, std::string, LessNoCase>;

/// Changes to make right after the first REQUEST for an item has been answered.
using ChangesAfterRequest = std::map<std::string, std::string, LessNoCase>;

/// The five items with the values the simulator starts with.
ItemValues DefaultItems();

/// One item taking a new value.
struct Change {
  std::string item;
  std::string value;
};

/// What an EXECUTE asks for, once parsed. `item` empty: a command this radio does not know.
struct ExecuteAction {
  std::string item;
  std::string value;
};

/// The split and dual buttons, shown together in HRD_BUTTON_STATUS as "Split=on Dual=off".
struct Buttons {
  bool split = false;
  bool dual = false;

  std::string StatusText() const;
  /// Takes up whatever "Split=on|off" / "Dual=on|off" words a status text holds, so a value
  /// set from outside and the buttons pressed later agree.
  void TakeFrom(std::string_view status);
};

/// Parses "frqa 14070000", "frqb 7040000", "mode usb", "butn tx=on", "butn Split=off",
/// "butn Dual=on" (verbs, button names and on/off in any case); a split or dual press
/// updates `buttons`.
ExecuteAction ParseExecute(std::string_view command, Buttons& buttons);

/// How EXECUTEs are answered.
enum class ExecuteReply { Ack, Refuse, Stall };

/// The radio's state as the DDE items show it, and the reply mode for EXECUTEs.
class Radio {
 public:
  explicit Radio(ItemValues items = DefaultItems(), ChangesAfterRequest changes = {});

  /// The value of an item, or null when there is no such item.
  const std::string* Find(std::string_view item) const;
  const ItemValues& Items() const { return items_; }

  /// Sets an item, creating it if new; the change (under the item's usual spelling), or
  /// nullopt when the item already had that value.
  std::optional<Change> Set(const std::string& item, const std::string& value);

  /// Carries out an EXECUTE command.
  struct Executed {
    bool known = false;            // false: not a command of this radio; nothing changed
    std::optional<Change> change;  // the item it changed, if its value differs
  };
  Executed Execute(std::string_view command);

  /// Answer EXECUTEs with `reply`; a stall of 0 ms is no stall: acknowledged.
  void SetExecuteReply(ExecuteReply reply, std::uint32_t stallMs = 0);
  ExecuteReply Reply() const { return reply_; }
  std::uint32_t StallMs() const { return stallMs_; }

  /// The change due after the first REQUEST for `item` has been answered; given only once.
  std::optional<Change> TakeChangeAfterRequest(std::string_view item);

 private:
  ItemValues items_;
  ChangesAfterRequest changesAfterRequest_;
  Buttons buttons_;
  ExecuteReply reply_ = ExecuteReply::Ack;
  std::uint32_t stallMs_ = 0;
};

}  // namespace tools::hrd_sim
