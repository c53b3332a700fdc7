#pragma once
// The help window: the operator's guide in a read-only text browser, opened
// about as wide as its text needs and kept with a small margin when resized.

#include <QDialog>
#include <QString>

#include <functional>

class QTextBrowser;

namespace orvane {

struct HelpFit {
  int width = 0;
  int height = 0;
};

// Finds the narrowest width in [lower, upper] at which the text is not taller
// than at the first width tried (the middle of the range), by halving the
// range; `heightAt` gives the text's height at a width. Returns that width and
// its height. The range is halved at least once, so a range that is already
// empty still yields a measured width.
HelpFit FitHelpWidth(const std::function<int(int width)>& heightAt, int lower, int upper);

class CHelpDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kMargin = 4;         // around the text when resized
  static constexpr int kNarrowest = 100;    // lower bound of the width search
  static constexpr int kScreenGap = 10;     // the window stays this much below the screen height

  static const char* const kMissingDocumentHtml;
  static const char* const kNoDocumentHtml;

  // `documentPath` names the HTML document (a Qt resource path); empty for none.
  CHelpDialog(QWidget* parent, const QString& documentPath);

  QTextBrowser* TextControl() const { return text_; }
  // Copies the whole text to the clipboard and puts the caret at the start.
  void Copy();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void LoadDocument(const QString& documentPath);
  void FitToText();

  QTextBrowser* text_;
  HelpFit requested_;
};

}  // namespace orvane
