#include "ui_test_support.h"

#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QRadioButton>
#include <QTest>
#include <cstdlib>
#include <filesystem>

#include "app/program_folder.h"
#include "firmware/module_writer.h"
#include "ui/file_confirm_dlg.h"
#include "ui/interface_select_dlg.h"
#include "ui/window_messages.h"
#include "ui/xp_button.h"

namespace orvane::test {

QString ValidConfigurationXml(const QString& tlsPort, const QString& tcpPort) {
  return QStringLiteral(
             "<?xml version=\"1.0\"?>\n<BOOTLOAD_SETTING>\n"
             "  <USB vid_pid=\"1209,3810\" isOVG=\"1\"/>\n"
             "  <SERIAL com_port=\"1\" baudrateList=\"115200\" parity=\"N\" databit=\"8\" stopbit=\"1\"/>\n"
             "  <SW enableLog=\"1\" EnableInterruptPointReserve=\"1\"/>\n"
             "  <NET TLS_Server_Port=\"%1\" TCP_Server_IP=\"127.0.0.1\" TCP_Server_Port=\"%2\"/>\n"
             "</BOOTLOAD_SETTING>\n")
      .arg(tlsPort, tcpPort);
}

void WriteConfiguration(const QString& folder, const QString& xml) {
  QFile file(folder + QStringLiteral("/BootloadConfiguration.xml"));
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
  file.write(xml.toUtf8());
}

// Calls `visit` with each pixel of `image` inside `area`.
static void ForEachPixel(const QImage& image, const QRect& area,
                         const std::function<void(int x, int y, const QColor&)>& visit) {
  const QRect bounded = area.intersected(image.rect());
  for (int y = bounded.top(); y <= bounded.bottom(); ++y) {
    for (int x = bounded.left(); x <= bounded.right(); ++x) visit(x, y, image.pixelColor(x, y));
  }
}

int CountPixels(const QImage& image, const QRect& area, const QColor& colour, int tolerance) {
  int count = 0;
  ForEachPixel(image, area, [&](int, int, const QColor& pixel) {
    const int off = std::max({std::abs(pixel.red() - colour.red()), std::abs(pixel.green() - colour.green()),
                              std::abs(pixel.blue() - colour.blue())});
    if (off <= tolerance) ++count;
  });
  return count;
}

QRect DarkBounds(const QImage& image, const QRect& area, int threshold) {
  QRect bounds;
  ForEachPixel(image, area, [&](int x, int y, const QColor& pixel) {
    if (pixel.red() + pixel.green() + pixel.blue() < threshold) bounds |= QRect(x, y, 1, 1);
  });
  return bounds;
}

void OnNextModal(std::function<void(QWidget* dialog)> action) {
  auto* timer = new QTimer();
  QObject::connect(timer, &QTimer::timeout, timer, [timer, action = std::move(action)] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    timer->stop();
    timer->deleteLater();
    action(modal);
  });
  timer->start(10);
}

ConfigurationViewRig::ConfigurationViewRig(uint32_t clockScale) : clock_(clockScale), scopedClock_(clock_) {
  SetProgramFolderOverride(folder_.path());
  transports_.network().SetCertificateFolder(folder_.path());
  // No serial ports: the machine's own must not be opened by the tests.
  transports_.channel().SetPortLister([](std::vector<PortInfo>& ports) { ports.clear(); });
}

ConfigurationViewRig::~ConfigurationViewRig() {
  Close();
  if (runner_) runner_->Stop();
  RegisterViewFactory(kMainUpdateViewId, {});
  SetProgramFolderOverride("");
}

void ConfigurationViewRig::Close() {
  // Deleting the frame deletes the view, whose engine joins every worker.
  delete frame_;
  frame_ = nullptr;
  view_ = nullptr;
}

void ConfigurationViewRig::AddModule(const std::string& folder, const std::string& name, int size) {
  const std::string path = PathInFolder(folder_.path(), folder);
  std::filesystem::create_directories(path);
  if (folder != kAppFolderName) {
    QVERIFY(WriteRawModuleFile(PathInFolder(path, name), size_t(size), folder == kKernelFolderName ? 1 : 2));
    return;
  }
  ModuleSpec spec;
  spec.blockSize = 256;
  spec.blockCount = static_cast<uint16_t>(size);
  QVERIFY(WriteModuleFile(PathInFolder(path, name), spec));
}

bool ConfigurationViewRig::Start(InterfaceAnswer answer) {
  WriteConfiguration(QString::fromStdString(folder_.path()), ValidConfigurationXml(tlsPort, tcpPort));
  RegisterViewFactory(kMainUpdateViewId, [this](CMainFrame&) -> QWidget* {
    view_ = new CViewConfiguration(transports_.channel());
    return view_;
  });
  bool answered = false;
  OnNextModal([this, answer, &answered](QWidget* dialog) {
    answered = true;
    auto* select = qobject_cast<CInterfaceSelectDlg*>(dialog);
    if (select == nullptr || answer == InterfaceAnswer::Escape) {
      QTest::keyClick(dialog, Qt::Key_Escape);
      return;
    }
    select->RadioButton(static_cast<int>(answer))->click();
    select->OkButton()->click();
  });
  frame_ = CMainFrame::Create(settings_);
  if (frame_ == nullptr) return false;
  frame_->show();
  return QTest::qWaitFor(
      [&] {
        return answered && view_ != nullptr && QApplication::activeModalWidget() == nullptr &&
               frame_->ActiveView() == view_ && view_->isVisible();
      },
      10000);
}

bool ConfigurationViewRig::StartReady() {
  reader_ = std::make_unique<sim::SimulatedReader>(readerOptions);
  device_ = std::make_shared<FakeHidDevice>(0x1209, 0x3810);
  runner_ = std::make_unique<sim::SimHidDevice>(*reader_, device_);
  if (!runner_->Start()) return false;
  hidBackend_.AddDevice(device_);
  return Start() && QTest::qWaitFor([&] { return view_->engine().ready() && ControlsEnabled(true); }, 10000);
}

QString ConfigurationViewRig::UpdateConfirmed() {
  QString shown;
  OnNextModal([&shown](QWidget* dialog) {
    auto* confirm = qobject_cast<CFileConfirmDlg*>(dialog);
    if (confirm == nullptr) return dialog->close(), void();
    shown = confirm->Text();
    QTest::mouseClick(confirm->ContinueButton(), Qt::LeftButton);
  });
  QTest::mouseClick(form().update, Qt::LeftButton);
  return shown;
}

bool ConfigurationViewRig::WaitUntilRunOver() {
  return QTest::qWaitFor(
      [&] { return !view_->engine().UpdateRunning() && !view_->engine().busy() && ControlsEnabled(true); }, 30000);
}

QStringList ConfigurationViewRig::Column(int column) const {
  QStringList texts;
  for (int row = 0; row < form().list->GetItemCount(); ++row) texts << form().list->GetItemText(row, column);
  return texts;
}

bool ConfigurationViewRig::ControlsEnabled(bool enabled) const {
  const ViewForm& shown = form();
  return shown.update->isEnabled() == enabled && shown.reloadFirmware->isEnabled() == enabled &&
         shown.reloadKernel->isEnabled() == enabled && shown.list->isEnabled() == enabled &&
         shown.selectAll->isEnabled() == enabled;
}

}  // namespace orvane::test
