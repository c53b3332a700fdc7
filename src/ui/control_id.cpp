#include "ui/control_id.h"

#include <QVariant>

namespace orvane {
namespace {
constexpr const char* kProperty = "orvaneControlId";
}

void SetControlId(QWidget* widget, int id) { widget->setProperty(kProperty, id); }

int ControlId(const QWidget* widget) {
  QVariant value = widget->property(kProperty);
  return value.isValid() ? value.toInt() : -1;
}

}  // namespace orvane
