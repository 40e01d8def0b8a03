#include "common/CommonUI.h"

#include "common/Common.h"
#include "common/ErrorTrap.h"

namespace bridge::common {

CommonUI::CommonUI(platform::Ui& ui, Common& common) : common_(common) {
  platform::WindowSpec spec;
  spec.name = "CommonUI";
  spec.caption = "CommonUI";
  form_ = ui.CreateForm(spec);
  Form_Load();
}

CommonUI::~CommonUI() { Unload(); }

void CommonUI::Form_Load() {
  Ignore([&] { common_.ReportMonitors(*form_); });
}

void CommonUI::Unload() {
  if (!form_) return;
  form_->Destroy();
  form_.reset();
}

}  // namespace bridge::common
