// Window commands of the suite's programs and the tagged-record parser of their commands.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "common/Common.h"
#include "platform/Controls.h"

namespace bridge::server {

/// One field of a tagged record: its name and value exactly as they stood in the record.
struct Token {
  std::string name;
  std::string value;
};

/// The `DDECommon` module.
class DDECommon {
 public:
  DDECommon(platform::Ui& ui, common::Common& common) : ui_(ui), common_(common) {}

  /// Splits a tagged record ("<name:length>value…") into tokens kept until the next parse.
  /// A malformed record ends the parse silently, keeping the tokens found so far; more than
  /// 100 fields report 9 under "DDECommon.ParseRecord".
  void ParseRecord(std::string record);
  /// The token at 1-based `index`; an empty token beyond the parsed count, and for an index
  /// outside 1..100 a report of 9 under "DDECommon.GetToken".
  Token GetToken(std::int16_t index);

  /// Restores `window` and brings it to the front; reports under "DDECommon.Activate".
  void Activate(platform::Window& window);
  /// Minimises every loaded form of the program, the hidden ones too; reports under
  /// "DDECommon.Iconify", and forms already minimised stay so.
  void Iconify();

 private:
  static constexpr std::int16_t kTokenSlots = 100;

  platform::Ui& ui_;
  common::Common& common_;
  /// Slots 1 to 100; slot 0 is unused. Slots above the count keep older tokens unread.
  std::array<Token, kTokenSlots + 1> tokens_;
  std::int16_t count_ = 0;
};

}  // namespace bridge::server
