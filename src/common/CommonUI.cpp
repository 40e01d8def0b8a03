#include "common/CommonUI.h"

#include "common/Common.h"
#include "common/ErrorTrap.h"

namespace bridge::common {

CommonUI::CommonUI(platform::Ui& ui, Common& common) : common_(common) {
  platform::WindowSpec design;
  design.name = "CommonUI";
  design.caption = "CommonUI";
  form_ = ui.CreateForm(design);
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
