#include "ui/help_dialog.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTextBrowser>
#include <QTextDocument>

#include <algorithm>
#include <cmath>
#include <memory>

#include "ui/program_resources.h"
#include "ui/program_style.h"

namespace orvane {

const char* const CHelpDialog::kMissingDocumentHtml =
    "<p style=\"font-family:Arial; font-size:18pt; font-weight:bold; color:#ff0000;\">HelpDialog Internal Error</p>"
    "<p style=\"font-family:Arial; font-size:10pt; font-weight:bold;\">&nbsp;</p>"
    "<p style=\"font-family:Arial; font-size:10pt; font-weight:bold; color:#000000;\">"
    "Failed to load RTF from resources, check your code!</p>";

const char* const CHelpDialog::kNoDocumentHtml =
    "<p style=\"font-family:Arial; font-size:18pt; font-weight:bold; color:#ff0000;\">HelpDialog Internal Error</p>"
    "<p style=\"font-family:Arial; font-size:10pt; font-weight:bold;\">&nbsp;</p>"
    "<p style=\"font-family:Arial; font-size:10pt; font-weight:bold; color:#000000;\">"
    "no RTF ID set in constructor AND no RTF File Loaded, check your code!</p>";

HelpFit FitHelpWidth(const std::function<int(int width)>& heightAt, int lower, int upper) {
  HelpFit best;
  bool haveReference = false;
  int reference = 0;
  do {
    const int middle = (lower + upper) / 2;
    const int height = heightAt(middle);
    if (!haveReference) {
      reference = height;
      haveReference = true;
    }
    if (height <= reference) {
      // Keep the narrowest width that is still short enough, not merely the last one tried.
      if (best.width == 0 || middle < best.width) best = {middle, height};
      upper = middle - 1;
    } else {
      lower = middle + 1;
    }
  } while (lower < upper);
  return best;
}

CHelpDialog::CHelpDialog(QWidget* parent, const QString& documentPath) : QDialog(parent) {
  setWindowIcon(ProgramIcon());
  setWindowTitle(QStringLiteral("Help"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
  setSizeGripEnabled(true);
  setFont(DialogFont(kSystemFont10));
  resize(DluX(180, kSystemFont10), DluY(103, kSystemFont10));

  text_ = new QTextBrowser(this);
  text_->setReadOnly(true);
  text_->setOpenLinks(true);
  text_->setOpenExternalLinks(false);
  QPalette colours = text_->palette();
  colours.setColor(QPalette::Base, Qt::white);
  colours.setColor(QPalette::Text, Qt::black);
  text_->setPalette(colours);
  text_->document()->setDefaultFont(ArialFont(16, 400));

  auto* copy = new QAction(QStringLiteral("&Copy"), this);
  copy->setShortcut(QKeySequence::Copy);
  copy->setShortcutContext(Qt::WidgetWithChildrenShortcut);
  connect(copy, &QAction::triggered, this, &CHelpDialog::Copy);
  addAction(copy);

  LoadDocument(documentPath);
  FitToText();
}

void CHelpDialog::LoadDocument(const QString& documentPath) {
  if (documentPath.isEmpty()) {
    text_->setHtml(QString::fromLatin1(kNoDocumentHtml));
    return;
  }
  QFile file(documentPath);
  if (!file.open(QIODevice::ReadOnly)) {
    text_->setHtml(QString::fromLatin1(kMissingDocumentHtml));
    return;
  }
  text_->setHtml(QString::fromUtf8(file.readAll()));
}

void CHelpDialog::FitToText() {
  QScreen* screen = parentWidget() != nullptr ? parentWidget()->screen() : QGuiApplication::primaryScreen();
  const QRect available = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 800, 600);

  std::unique_ptr<QTextDocument> probe(text_->document()->clone());
  auto heightAt = [&probe](int width) {
    probe->setTextWidth(width);
    return static_cast<int>(std::ceil(probe->size().height()));
  };
  requested_ = FitHelpWidth(heightAt, kNarrowest, available.width() & ~1);
  // Lines that cannot wrap (examples of commands and files) widen the text
  // beyond the width asked for: give them room instead of a horizontal scroll bar.
  probe->setTextWidth(requested_.width);
  requested_.width = std::max(requested_.width, static_cast<int>(std::ceil(probe->size().width())));

  const int maxHeight = available.height() - kScreenGap;
  const int menuButtonHeight = QFontMetrics(QApplication::font("QMenuBar")).height() + 4;
  int height = std::min(requested_.height + menuButtonHeight + 30, maxHeight);

  // The text area loses the frame and, for a long text, the scroll bar: add
  // them so the text gets the width it asked for.
  int width = requested_.width + 5 + 2 * text_->frameWidth();
  if (requested_.height > height - 2 * kMargin) width += style()->pixelMetric(QStyle::PM_ScrollBarExtent);
  width = std::min(width, available.width() - 2 * kMargin);
  resize(width + 2 * kMargin, height);
}

void CHelpDialog::Copy() {
  text_->selectAll();
  text_->copy();
  QTextCursor cursor = text_->textCursor();
  cursor.movePosition(QTextCursor::Start);
  text_->setTextCursor(cursor);
}

void CHelpDialog::resizeEvent(QResizeEvent* event) {
  QDialog::resizeEvent(event);
  text_->setGeometry(rect().adjusted(kMargin, kMargin, -kMargin, -kMargin));
}

}  // namespace orvane
