#include "configuration_view_rig.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>

#include "app/program_folder.h"
#include "firmware/module_discovery.h"
#include "firmware/module_writer.h"
#include "ui/interface_select_dlg.h"
#include "ui/list_ctrl_ex.h"
#include "ui/main_frame.h"
#include "ui/main_update_view.h"
#include "ui/window_messages.h"
#include "ui/xp_button.h"
#include "ui_test_support.h"

namespace orvane::test {

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

std::string ConfigurationViewRig::FirmwareFolder(const char* name) const {
  std::string path = PathInFolder(folder_.path(), name);
  std::filesystem::create_directories(path);
  return path;
}

void ConfigurationViewRig::AddAppModule(const std::string& name, bool pci, int blockCount, const std::string& info) {
  ModuleSpec spec;
  spec.securityType = pci ? "pci   " : "nonpci";
  spec.infoText = info;
  spec.blockSize = 256;
  spec.blockCount = static_cast<uint16_t>(blockCount);
  QVERIFY(WriteModuleFile(PathInFolder(FirmwareFolder(kAppFolderName), name), spec));
}

void ConfigurationViewRig::AddKernelModule(const std::string& name, size_t length) {
  QVERIFY(WriteRawModuleFile(PathInFolder(FirmwareFolder(kKernelFolderName), name), length, 1));
}

void ConfigurationViewRig::AddUniAppModule(const std::string& name, size_t length) {
  QVERIFY(WriteRawModuleFile(PathInFolder(FirmwareFolder(kUniAppFolderName), name), length, 2));
}

void ConfigurationViewRig::UseReader(sim::ReaderOptions options) {
  if (runner_) runner_->Stop();
  runner_.reset();
  if (device_ && deviceAdded_) hidBackend_.RemoveDevice(*device_);
  deviceAdded_ = false;
  reader_ = std::make_unique<sim::SimulatedReader>(std::move(options));
  device_ = std::make_shared<FakeHidDevice>(0x1209, 0x3810);
  device_->SetPresent(false);
  runner_ = std::make_unique<sim::SimHidDevice>(*reader_, device_);
  QVERIFY(runner_->Start());
}

void ConfigurationViewRig::Plug() {
  if (!reader_) UseReader(sim::ReaderOptions{});
  if (!deviceAdded_) hidBackend_.AddDevice(device_);
  deviceAdded_ = true;
  device_->SetPresent(true);
}

void ConfigurationViewRig::Unplug() {
  if (device_) device_->SetPresent(false);
}

bool ConfigurationViewRig::Start(InterfaceAnswer answer) {
  WriteConfiguration(QString::fromStdString(folder_.path()), ValidConfigurationXml(tlsPort, tcpAddress, tcpPort));
  RegisterViewFactory(kMainUpdateViewId, [this](CMainFrame&) -> QWidget* {
    view_ = new CViewConfiguration(transports_.channel());
    return view_;
  });
  bool answered = false;
  OnNextModal([this, answer, &answered](QWidget* dialog) {
    answered = true;
    if (beforeInterfaceAnswer) beforeInterfaceAnswer(dialog);
    auto* select = qobject_cast<CInterfaceSelectDlg*>(dialog);
    if (select == nullptr || answer == InterfaceAnswer::Escape) {
      QTest::keyClick(dialog, Qt::Key_Escape);
      return;
    }
    select->RadioButton(answer == InterfaceAnswer::Tls ? 1 : answer == InterfaceAnswer::Tcp ? 2 : 0)->click();
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
  Plug();
  return Start() && WaitUntilReady();
}

bool ConfigurationViewRig::WaitUntilReady() {
  return QTest::qWaitFor([&] { return view_->engine().ready() && ControlsEnabled(true); }, 10000);
}

QString ConfigurationViewRig::UpdateConfirmed() {
  QString shown;
  ContinueNextConfirmation(&shown);
  QTest::mouseClick(view_->form().update, Qt::LeftButton);
  return shown;
}

bool ConfigurationViewRig::WaitUntilRunOver() {
  return QTest::qWaitFor(
      [&] { return !view_->engine().UpdateRunning() && !view_->engine().busy() && ControlsEnabled(true); }, 30000);
}

QString ConfigurationViewRig::StatusText() const { return view_->form().status->text(); }

QColor ConfigurationViewRig::StatusColour() const { return view_->form().StatusColour(); }

QString ConfigurationViewRig::DeviceInfoText() const {
  // Without the break opportunities that the line adds to long runs.
  return view_->form().deviceInfo->text().remove(QChar(0x200B));
}

QString ConfigurationViewRig::RowText(int row, int column) const { return view_->form().list->GetItemText(row, column); }

QColor ConfigurationViewRig::RowColour(int row, int column) const {
  return view_->form().list->TextColorFor(row, column).value_or(QColor());
}

int ConfigurationViewRig::RowCount() const { return view_->form().list->GetItemCount(); }

void ConfigurationViewRig::TickRow(int row) { view_->form().list->SetCheck(row, true); }

bool ConfigurationViewRig::ControlsEnabled(bool enabled) const {
  const ViewForm& form = view_->form();
  return form.update->isEnabled() == enabled && form.reloadFirmware->isEnabled() == enabled &&
         form.reloadKernel->isEnabled() == enabled && form.list->isEnabled() == enabled &&
         form.selectAll->isEnabled() == enabled;
}

}  // namespace orvane::test
