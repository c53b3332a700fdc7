#include "ui/update_form_widgets.h"

#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>

#include <algorithm>

#include "ui/control_id.h"
#include "ui/list_ctrl_ex.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/update_form_table.h"
#include "ui/xp_button.h"

namespace orvane {
namespace {

// A group box drawn as the program's forms draw it: an etched frame whose top
// line runs through the middle of the title, so that the controls just below
// the title stay clear of the frame.
class FormGroupBox final : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    const QRect frame = rect().adjusted(0, metrics.height() / 2, -1, -1);
    painter.setPen(palette().color(QPalette::Dark));
    painter.drawRect(frame.adjusted(0, 0, -1, -1));
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.adjusted(1, 1, 0, 0));
    const QRect caption(kCaptionIndent, 0, metrics.horizontalAdvance(title()) + 4, metrics.height());
    painter.fillRect(caption, kFormBackground);
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(caption, Qt::AlignCenter, title());
  }

 private:
  static constexpr int kCaptionIndent = 8;
};

QLabel* MakeLabel(QWidget* parent, const QString& text) {
  auto* label = new QLabel(text, parent);
  // Nothing shown here is markup: a version text such as "<b>" stays text.
  label->setTextFormat(Qt::PlainText);
  return label;
}

// Transparent on the form's colour, as the form's own texts are drawn.
void OnFormBackground(QWidget* widget) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, kFormBackground);
  palette.setColor(QPalette::WindowText, Qt::black);
  widget->setPalette(palette);
  widget->setAutoFillBackground(false);
}

}  // namespace

ViewForm::ViewForm(QWidget* view) {
  view->setFont(DialogFont(kSystemFont10));
  view->setMinimumSize(ViewFormSize());
  for (const FormControl& control : kViewFormControls) {
    const QString caption = QString::fromLatin1(control.caption);
    QWidget* widget = nullptr;
    switch (control.id) {
      case IDC_GROUP_FILE_LIST:
        widget = group = new FormGroupBox(caption, view);
        break;
      case IDC_CHECK_MODEL:
        widget = modelBox = new QCheckBox(caption, view);
        break;
      case IDC_CHECK_SELECT_ALL:
        widget = selectAll = new QCheckBox(caption, view);
        break;
      case IDC_BUTTON_RELOAD_FIRMWARE:
        widget = reloadFirmware = new CXPButton(caption, view);
        break;
      case IDC_BUTTON_RELOAD_KERNEL:
        widget = reloadKernel = new CXPButton(caption, view);
        break;
      case IDC_STATIC_PORT:
        widget = portLabel = MakeLabel(view, caption);
        break;
      case IDC_EDIT_PORT:
        widget = port = new QLineEdit(view);
        port->setMaxLength(5);
        break;
      case IDC_CHECK_TLS:
        widget = tlsBox = new QCheckBox(caption, view);
        break;
      case IDC_LIST_FILES:
        widget = list = new CListCtrlEx(view);
        break;
      case IDC_STATIC_STATUS:
        widget = status = MakeLabel(view, caption);
        status->setAlignment(Qt::AlignCenter);
        break;
      case IDC_BUTTON_UPDATE:
        widget = update = new CXPButton(caption, view);
        break;
      case IDC_STATIC_PICTURE:
        widget = picture = new QLabel(view);
        picture->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        break;
      case IDC_STATIC_DEVICE_LABEL:
        widget = deviceLabel = MakeLabel(view, caption);
        break;
      case IDC_STATIC_DEVICE_INFO:
        widget = deviceInfo = MakeLabel(view, caption);
        deviceInfo->setWordWrap(true);
        deviceInfo->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        break;
      default:
        continue;
    }
    if (control.id >= 0) SetControlId(widget, control.id);
    if (widget != list && widget != port) OnFormBackground(widget);
    widget->setGeometry(FormControlRect(control));
    widget->setEnabled(control.createdEnabled);
    widget->setVisible(control.createdVisible);
  }

  for (int column = 0; column < static_cast<int>(kFileListColumns.size()); ++column) {
    const ListColumn& entry = kFileListColumns[static_cast<size_t>(column)];
    list->InsertColumn(column, QString::fromLatin1(entry.caption), entry.width);
  }
  list->SetProgressColumn(kProgressColumn);

  status->setFont(ArialFont(36, 700));
  reloadFirmware->setFont(ArialFont(18));
  reloadKernel->setFont(ArialFont(18));
  update->setFont(ArialFont(30, 700));
  SetStatusColour(kStatusLineRed);
  ShowPicture(false);
}

QColor ViewForm::Background() { return kFormBackground; }

QString ViewForm::Text(std::string_view text) {
  QString shown = QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
  for (QChar& c : shown) {
    const char16_t code = c.unicode();
    if ((code < 0x20 && code != u'\n' && code != u'\r' && code != u'\t') || code == 0x7F) c = QLatin1Char(' ');
  }
  return DisplayText(shown);
}

QString ViewForm::FileName(std::string_view name) {
  return QFile::decodeName(QByteArray(name.data(), static_cast<qsizetype>(name.size())));
}

void ViewForm::SetStatusColour(const QColor& colour) {
  QPalette palette = status->palette();
  palette.setColor(QPalette::WindowText, colour);
  status->setPalette(palette);
}

QColor ViewForm::StatusColour() const { return status->palette().color(QPalette::WindowText); }

void ViewForm::ShowPicture(bool ready) {
  picture->setPixmap(QPixmap(QString::fromLatin1(ready ? kReadyPicture : kNotReadyPicture)));
}

void ViewForm::SetDeviceInfo(const QString& text, int viewHeight) {
  // A version text may hold long runs without blanks; break opportunities
  // (zero-width spaces) let the line wrap them instead of cutting them off.
  constexpr int kLongestRun = 24;
  QString wrappable;
  int run = 0;
  for (QChar c : text) {
    run = c.isSpace() ? 0 : run + 1;
    if (run > kLongestRun) {
      wrappable += QChar(0x200B);
      run = 1;
    }
    wrappable += c;
  }
  deviceInfo->setText(wrappable);
  PlaceDeviceInfo(viewHeight);
}

void ViewForm::PlaceDeviceInfo(int viewHeight) {
  QRect place = FormControlRect(*FindFormControl(IDC_STATIC_DEVICE_INFO));
  const int needed = deviceInfo->heightForWidth(place.width());
  // The form grows to hold a long text; the frame's view area scrolls to it.
  deviceInfo->parentWidget()->setMinimumHeight(std::max(ViewFormSize().height(), place.top() + needed));
  const int room = std::max(place.height(), viewHeight - place.top());
  place.setHeight(std::clamp(needed, place.height(), room));
  deviceInfo->setGeometry(place);
}

}  // namespace orvane
