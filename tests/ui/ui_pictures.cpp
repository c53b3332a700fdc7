// Writes pictures of the program's windows under the build folder
// (ui-pictures/) so that anyone can look at them.

#include <QDir>
#include <QEnterEvent>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>

#include "app/clock.h"
#include "app/program_folder.h"
#include "ui/about_dlg.h"
#include "ui/startup_view.h"
#include "ui/file_confirm_dlg.h"
#include "ui/help_dialog.h"
#include "ui/interface_select_dlg.h"
#include "ui/list_ctrl_ex.h"
#include "ui/main_frame.h"
#include "ui/program_resources.h"
#include "ui/program_style.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

using namespace orvane;

class TestPictures : public QObject {
  Q_OBJECT

 private:
  QDir out_;
  QTemporaryDir programFolder_;

  void Save(QWidget* widget, const char* name) {
    widget->show();
    QVERIFY(QTest::qWaitForWindowExposed(widget));
    QApplication::processEvents();
    Write(widget->grab(), name);
  }
  void Write(const QPixmap& picture, const char* name) {
    const QString path = out_.filePath(QString::fromLatin1(name));
    QVERIFY(!picture.isNull());
    QVERIFY2(picture.save(path, "PNG"), qPrintable(path));
    qInfo("%s %dx%d", qPrintable(path), picture.width(), picture.height());
  }

 private slots:
  void initTestCase() {
    out_ = QDir(QStringLiteral(ORVANE_PICTURE_DIR));
    QVERIFY(out_.mkpath(QStringLiteral(".")));
    QVERIFY(programFolder_.isValid());
    test::WriteConfiguration(programFolder_.path(), test::ValidConfigurationXml());
    SetProgramFolderOverride(programFolder_.path().toStdString());
  }
  void cleanupTestCase() {
    SetProgramFolderOverride({});
    SetClock(nullptr);
  }

  void frame() {
    BootloadSettings settings;
    CMainFrame* frame = CMainFrame::Create(settings);
    QVERIFY(frame != nullptr);
    // Taken before any event runs: the main view replaces the start-up view
    // with the first ones.
    Write(frame->grab(), "frame_startup.png");
    frame->show();
    QTRY_VERIFY(frame->ActiveView() != frame->PlaceholderView());
    Save(frame, "frame_after_switch.png");
    delete frame;
  }

  void about() {
    CAboutDlg about;
    Save(&about, "about.png");
  }

  void help() {
    CHelpDialog help(nullptr, QString::fromLatin1(kHelpDocument));
    help.setWindowTitle(QString::fromLatin1(CMainFrame::kHelpCaption));
    Save(&help, "help.png");
    CHelpDialog missing(nullptr, QStringLiteral(":/help/missing.html"));
    Save(&missing, "help_missing_document.png");
  }

  void confirmation() {
    CFileConfirmDlg dialog;
    dialog.SetText(QStringLiteral(
        "Bootloader file list:\r\n\tORV_bootloader_v1.12.fm\r\nApp file list:\r\n\tORV_app_v2.00.020.fm\r\n"
        "Kernel file list:\r\n\tapp_ct_l2_v4.3.fm\r\n\tapp_nfcrd_l2_amex_v3.1.fm\r\n"
        "\r\nUni-App file list:\r\n\tNone"));
    Save(&dialog, "file_confirm.png");
  }

  void interfaceSelection() {
    CInterfaceSelectDlg dialog;
    Save(&dialog, "interface_select.png");
  }

  void listWithProgress() {
    QWidget panel;
    UseFormBackground(&panel);
    panel.resize(640, 236);
    auto* list = new CListCtrlEx(&panel);
    list->setGeometry(14, 14, 612, 170);
    list->InsertColumn(0, QStringLiteral("Please select the module file to update"), 280);
    list->InsertColumn(1, QStringLiteral("Status"), 150);
    list->InsertColumn(2, QStringLiteral("Info"), 160);
    const char* rows[][2] = {{"ORV_bootloader_v1.12.fm", "PCI Bootloader, Plain"},
                             {"ORV_app_v2.00.020.fm", "PCI Application, AES"},
                             {"app_ct_l2_v4.3.fm", "Kernel"},
                             {"app_nfcrd_l2_amex_v3.1.fm", "Kernel"},
                             {"wallet_v1.fm", "UniApp"}};
    for (int row = 0; row < 5; ++row) {
      list->InsertItem(row, QString::fromLatin1(rows[row][0]));
      list->SetItemText(row, 2, QString::fromLatin1(rows[row][1]));
      list->SetCheck(row, row < 4);
    }
    list->SetItemText(0, 1, QStringLiteral("Completed"));
    list->SetCellColor(0, 1, QColor(0, 0, 255));
    list->SetItemText(1, 1, QStringLiteral("Failed"));
    list->SetCellColor(1, 1, QColor(0, 0, 255));
    list->SetCellColor(1, 1, QColor(255, 0, 0));
    list->StartProgress(2, 1);
    list->SetRowPercentage(2, 42);
    auto* update = new CXPButton(QStringLiteral("Update"), &panel);
    update->setFont(ArialFont(30, 700));
    update->setGeometry(196, 192, 248, 40);
    auto* hovered = new CXPButton(QStringLiteral("Reload Firmware File Path"), &panel);
    hovered->setFont(ArialFont(18, 400));
    hovered->setGeometry(14, 196, 176, 32);
    auto* disabled = new CXPButton(QStringLiteral("Reload Kernel File Path"), &panel);
    disabled->setFont(ArialFont(18, 400));
    disabled->setGeometry(450, 196, 176, 32);
    disabled->setEnabled(false);
    panel.show();
    QVERIFY(QTest::qWaitForWindowExposed(&panel));
    QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QApplication::sendEvent(hovered, &enter);
    Save(&panel, "list_progress_buttons.png");
  }

  void pictures() {
    QWidget panel;
    UseFormBackground(&panel);
    panel.resize(200, 100);
    auto* ready = new QLabel(&panel);
    ready->setPixmap(QPixmap(QString::fromLatin1(kReadyPicture)));
    ready->setGeometry(10, 10, 80, 80);
    auto* notReady = new QLabel(&panel);
    notReady->setPixmap(QPixmap(QString::fromLatin1(kNotReadyPicture)));
    notReady->setGeometry(110, 10, 80, 80);
    Save(&panel, "ready_not_ready.png");
  }
};

QTEST_MAIN(TestPictures)
#include "ui_pictures.moc"
