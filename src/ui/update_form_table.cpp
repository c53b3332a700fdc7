#include "ui/update_form_table.h"

#include "ui/program_style.h"

namespace orvane {

QRect FormControlRect(const FormControl& control) {
  return DluRect(control.x, control.y, control.width, control.height, kSystemFont10);
}

QSize ViewFormSize() { return QSize(DluX(kViewFormWidthDlu, kSystemFont10), DluY(kViewFormHeightDlu, kSystemFont10)); }

const FormControl* FindFormControl(int id) {
  for (const FormControl& control : kViewFormControls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

}  // namespace orvane
