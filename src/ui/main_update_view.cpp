#include "ui/main_update_view.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPainter>
#include <QThread>
#include <QTimer>

#include <algorithm>

#include "app/clock.h"
#include "app/program_folder.h"
#include "transport/message_hook.h"
#include "ui/file_confirm_dlg.h"
#include "ui/interface_select_dlg.h"
#include "ui/list_ctrl_ex.h"
#include "ui/message_box.h"
#include "ui/update_form_table.h"
#include "ui/view_keyboard_filter.h"
#include "ui/window_messages.h"
#include "ui/xp_button.h"

namespace orvane {

std::atomic<CViewConfiguration*> g_pConfigView{nullptr};

namespace {

constexpr const char kApplicationPathTitle[] = "Please Select the Application Path";
constexpr const char kKernelPathTitle[] = "Please Select the Kernel Path";
constexpr uint32_t kBlinkPeriodMs = 1000;

QColor ToQColor(Rgb colour) { return QColor(colour.red, colour.green, colour.blue); }

// The folder the operator picked, or an empty text when the browser was cancelled.
std::string BrowseForFolder(QWidget* owner, const char* title) {
  const QString folder = QFileDialog::getExistingDirectory(owner, QString::fromLatin1(title), QDir::currentPath(),
                                                           QFileDialog::ShowDirsOnly);
  return folder.isEmpty() ? std::string() : QFile::encodeName(folder).toStdString();
}

}  // namespace

CViewConfiguration::CViewConfiguration(ReaderChannel& channel, QWidget* parent)
    : QWidget(parent), form_(this), engine_(channel, *this) {
  ReserveUserMessages();
  ConnectControls();
  blinkTimer_ = new QTimer(this);
  connect(blinkTimer_, &QTimer::timeout, this, [this] { engine_.BlinkStatus(); });
  keyboardFilter_ = new ViewKeyboardFilter(this);
  // What goes wrong while a reader link starts (the TLS server's certificate,
  // key or port) is the operator's to see; standard error keeps the reason.
  SetLinkProblemHook([this](const LinkProblem& problem) {
    WriteLinkProblem(problem);
    if (problem.forOperator) ShowNotice(problem.text);
  });
  RefreshDeviceInfo();
  engine_.TransferToControls();
}

CViewConfiguration::~CViewConfiguration() {
  // The workers may still call into the view until the engine has joined them.
  engine_.Shutdown();
  SetLinkProblemHook({});
  CViewConfiguration* self = this;
  g_pConfigView.compare_exchange_strong(self, nullptr);
}

void CViewConfiguration::ConnectControls() {
  connect(form_.update, &QPushButton::clicked, this, [this] { engine_.OnButtonUpdate(); });
  connect(form_.selectAll, &QCheckBox::clicked, this, [this](bool checked) { engine_.OnSelectAll(checked); });
  connect(form_.modelBox, &QCheckBox::clicked, this, [this](bool checked) { engine_.OnModelBox(checked); });
  connect(form_.reloadFirmware, &QPushButton::clicked, this, [this] { OnReloadFirmwarePath(); });
  connect(form_.reloadKernel, &QPushButton::clicked, this, [this] { OnReloadKernelPath(); });
}

void CViewConfiguration::RefreshDeviceInfo() { engine_.RefreshDeviceInfo(); }

void CViewConfiguration::OnInitialUpdate() {
  engine_.TransferToControls();
  ShowModelBox(g_bModelVariant.load());
  g_pConfigView.store(this);

  CInterfaceSelectDlg dialog(this);
  dialog.exec();
  engine_.ApplyInterfaceChoice(dialog.ChosenInterface());

  engine_.InitFirmwareFolders(ProgramFolder());
  engine_.TransferToControls();
  engine_.StartDetection();
}

void CViewConfiguration::OnReloadFirmwarePath() {
  const std::string folder = BrowseForFolder(this, kApplicationPathTitle);
  if (!folder.empty()) engine_.ChooseAppFolder(folder);
}

void CViewConfiguration::OnReloadKernelPath() {
  const std::string folder = BrowseForFolder(this, kKernelPathTitle);
  if (!folder.empty()) engine_.ChooseKernelFolder(folder);
}

// ---------------------------------------------------------------------------
// Events and painting

bool CViewConfiguration::event(QEvent* event) {
  if (const std::optional<ViewMessage> message = ReadViewMessage(event)) {
    engine_.DeliverViewMessage(*message);
    return true;
  }
  return QWidget::event(event);
}

void CViewConfiguration::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), ViewForm::Background());
}

void CViewConfiguration::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  form_.PlaceDeviceInfo(height());
}

template <typename Action>
void CViewConfiguration::OnPresenterThread(Action&& action) {
  if (IsPresenterThread()) {
    action();
    return;
  }
  QMetaObject::invokeMethod(this, std::forward<Action>(action), Qt::QueuedConnection);
}

// ---------------------------------------------------------------------------
// The view's operations: presenter thread

bool CViewConfiguration::IsPresenterThread() const { return QThread::currentThread() == thread(); }

void CViewConfiguration::PostViewMessage(const ViewMessage& message) {
  orvane::PostViewMessage(this, message);
}

void CViewConfiguration::TransferToControls(const ViewSnapshot& snapshot) {
  form_.status->setText(ViewForm::Text(snapshot.statusText));
  form_.SetStatusColour(ToQColor(snapshot.statusColour));
  form_.SetDeviceInfo(ViewForm::Text(snapshot.deviceInfoText), height());
  form_.modelBox->setChecked(snapshot.modelBoxTicked);
  form_.selectAll->setChecked(snapshot.selectAll);
  form_.port->setText(QString::number(snapshot.serverPort));
}

void CViewConfiguration::ShowModelBox(bool shown) { form_.modelBox->setVisible(shown); }

void CViewConfiguration::WriteStatusLine(std::string_view text) {
  form_.status->setText(ViewForm::Text(text));
  // The colour follows the flags at the moment of drawing, as it always does.
  form_.SetStatusColour(ToQColor(engine_.Snapshot().statusColour));
}

void CViewConfiguration::ShowMessageBox(std::string_view text, std::string_view caption) {
  orvane::ShowMessageBox(this, ViewForm::Text(text), ViewForm::Text(caption));
}

bool CViewConfiguration::ConfirmFileSelection(const std::string& text) {
  CFileConfirmDlg dialog(this);
  dialog.SetText(ViewForm::FileName(text));
  return dialog.exec() == QDialog::Accepted;
}

bool CViewConfiguration::IsRowChecked(int row) const { return form_.list->GetCheck(row); }

void CViewConfiguration::SetRowChecked(int row, bool checked) { form_.list->SetCheck(row, checked); }

void CViewConfiguration::InsertRow(int row, std::string_view name, std::string_view info) {
  const int inserted = form_.list->InsertItem(row, ViewForm::FileName(name));
  form_.list->SetItemText(inserted, kInfoColumn, ViewForm::Text(info));
}

void CViewConfiguration::DeleteAllRows() { form_.list->DeleteAllItems(); }

void CViewConfiguration::ShowPortBox(bool shown) {
  // The port comes from the configuration: shown, never edited.
  form_.port->setEnabled(false);
  form_.port->setVisible(shown);
  form_.portLabel->setVisible(shown);
}

// ---------------------------------------------------------------------------
// The view's operations: any thread

void CViewConfiguration::ShowNotice(std::string_view text) { ShowMessageBoxLater(this, ViewForm::Text(text)); }

void CViewConfiguration::DeviceReadyChanged(bool ready) {
  OnPresenterThread([this, ready] { form_.ShowPicture(ready); });
}

void CViewConfiguration::EnableInputs(OperatorInputs inputs, bool enabled) {
  OnPresenterThread([this, inputs, enabled] {
    // 1077, 1215 and 1071; an update run also holds back 1072 and 1022.
    form_.reloadKernel->setEnabled(enabled);
    form_.reloadFirmware->setEnabled(enabled);
    form_.update->setEnabled(enabled);
    if (inputs != OperatorInputs::All) return;
    form_.list->setEnabled(enabled);
    form_.selectAll->setEnabled(enabled);
  });
}

void CViewConfiguration::ShowRowOutcome(int row, ModuleOutcome outcome) {
  OnPresenterThread([this, row, outcome] {
    form_.list->SetItemText(row, kProgressColumn, ViewForm::Text(ModuleOutcomeText(outcome)));
    form_.list->SetCellColor(row, kProgressColumn, ToQColor(RowColour(outcome)));
  });
}

void CViewConfiguration::ClearRowOutcomes() {
  OnPresenterThread([this] {
    form_.list->ClearCellColors();
    for (int row = 0; row < form_.list->GetItemCount(); ++row) form_.list->SetItemText(row, kProgressColumn, QString());
  });
}

void CViewConfiguration::StartRowProgress(int row) {
  OnPresenterThread([this, row] { form_.list->StartProgress(row, kProgressColumn); });
}

void CViewConfiguration::SetRowPercent(int row, int percent) {
  OnPresenterThread([this, row, percent] { form_.list->SetRowPercentage(row, percent); });
}

void CViewConfiguration::RedrawRowProgress(int row) {
  OnPresenterThread([this, row] { form_.list->RedrawProgressCell(row); });
}

void CViewConfiguration::StopRowProgress() {
  OnPresenterThread([this] { form_.list->StopProgress(); });
}

void CViewConfiguration::EnsureRowVisible(int row) {
  OnPresenterThread([this, row] { form_.list->EnsureVisible(row); });
}

void CViewConfiguration::SetStatusBlinking(bool blinking) {
  OnPresenterThread([this, blinking] {
    // Program time: under a scaled clock the status blinks faster.
    if (blinking) blinkTimer_->start(std::max(1, OsWaitMs(kBlinkPeriodMs)));
    else blinkTimer_->stop();
  });
}

}  // namespace orvane
