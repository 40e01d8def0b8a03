// Window commands of the suite's programs and the tagged-record parser of their commands.
#pragma once

#include "common/Common.h"
#include "platform/Controls.h"

namespace bridge::server {

/// The `DDECommon` module.
class DDECommon {
 public:
  DDECommon(platform::Ui& ui, common::Common& common) : ui_(ui), common_(common) {}

  /// Restores `window` and brings it to the front; reports under "DDECommon.Activate".
  void Activate(platform::Window& window);
  /// Minimises every loaded form of the program, the hidden ones too; reports under
  /// "DDECommon.Iconify", and forms already minimised stay so.
  void Iconify();

 private:
  platform::Ui& ui_;
  common::Common& common_;
};

}  // namespace bridge::server
