// The hidden auxiliary form whose loading writes the monitor report.
#pragma once

#include <memory>

#include "platform/Controls.h"

namespace bridge::common {

class Common;

/// The `CommonUI` form: no controls, caption "CommonUI", never shown. Constructing it is
/// loading it; its load handler writes the monitor report with errors ignored.
class CommonUI {
 public:
  CommonUI(platform::Ui& ui, Common& common);
  ~CommonUI();
  /// Unloads the form: destroys its window.
  void Unload();

 private:
  void Form_Load();

  Common& common_;
  std::unique_ptr<platform::Window> form_;
};

}  // namespace bridge::common
