#include "ui/startup_view.h"

#include <QFontMetrics>
#include <QMetaObject>
#include <QPainter>

#include "ui/main_frame.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/window_messages.h"

namespace orvane {
namespace {
// The title is placed as if it were as long as this text.
constexpr int kTitleMeasureLength = 15;  // "No Reader found"
}  // namespace

CEMVL2_ConfigureView::CEMVL2_ConfigureView(QWidget* parent)
    : QWidget(parent), picture_(QString::fromLatin1(kStartupPicture)), titleFont_(ArialFont(24, 700)) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

CEMVL2_ConfigureView::~CEMVL2_ConfigureView() {
  if (thread_.joinable()) thread_.join();
}

QSize CEMVL2_ConfigureView::FormSize() {
  return QSize(DluX(kFormWidthDlu, kSystemFont10), DluY(kFormHeightDlu, kSystemFont10));
}

void CEMVL2_ConfigureView::OnInitialUpdate() {
  if (auto* frame = qobject_cast<CMainFrame*>(window())) frame->ShrinkToFitView(FormSize());
  StartThread();
}

void CEMVL2_ConfigureView::StartThread() {
  if (thread_.joinable()) return;
  thread_ = std::thread([this] {
    // The switch runs on the user-interface thread; a view that is destroyed
    // first drops the request together with itself.
    QMetaObject::invokeMethod(
        this, [] { SendUserMessage(g_pMainFrame, kSwitchViewEvent, VIEW_ID_CONFIGURATION, 0); }, Qt::QueuedConnection);
  });
}

QPoint CEMVL2_ConfigureView::PictureOrigin() const {
  return QPoint((width() - kPictureCentreWidth) / 2, (height() - kPictureCentreHeight) / 2);
}

QPoint CEMVL2_ConfigureView::TitlePosition() const {
  QFontMetrics metrics(titleFont_);
  const int x = width() / 2 - (kTitleMeasureLength * metrics.averageCharWidth()) / 2 - 50;
  const int y = 4 * (metrics.height() + metrics.leading()) + 100;
  return QPoint(x, y);
}

void CEMVL2_ConfigureView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  painter.drawPixmap(PictureOrigin(), picture_);

  painter.setFont(titleFont_);
  painter.setPen(kStartupTitleBlue);
  const QPoint title = TitlePosition();
  painter.drawText(title.x(), title.y() + QFontMetrics(titleFont_).ascent(), QString::fromLatin1(kTitleText));
}

}  // namespace orvane
