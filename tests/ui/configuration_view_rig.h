#pragma once
// The desktop program around the main update view, with real parts: the main
// frame with its start-up view and view switch, the interface dialog, the
// three transports and one ReaderChannel, a program folder of its own, and a
// simulated reader on the in-memory HID backend that the test plugs in and
// pulls out. Program time runs on a scaled clock.

#include <QColor>
#include <QString>

class QWidget;

#include <functional>
#include <memory>
#include <string>

#include "app/bootload_settings.h"
#include "app/clock.h"
#include "bootload/transport_bundle.h"
#include "reader-sim/sim_hid_device.h"
#include "reader-sim/simulated_reader.h"
#include "support/temp_dir.h"
#include "transport/fake_hid_backend.h"

namespace orvane {
class CMainFrame;
class CViewConfiguration;
}  // namespace orvane

namespace orvane::test {

// How the interface dialog is answered when the view starts.
enum class InterfaceAnswer { Local, Tls, Tcp, Escape };

class ConfigurationViewRig {
 public:
  // Program time runs `clockScale` times faster than real time.
  explicit ConfigurationViewRig(uint32_t clockScale = 10);
  ~ConfigurationViewRig();
  ConfigurationViewRig(const ConfigurationViewRig&) = delete;
  ConfigurationViewRig& operator=(const ConfigurationViewRig&) = delete;

  // ---- before Start ----
  // The configuration file's network ports and address.
  QString tlsPort = QStringLiteral("8443");
  QString tcpAddress = QStringLiteral("127.0.0.1");
  QString tcpPort = QStringLiteral("8000");
  // Module files beside the program.
  void AddAppModule(const std::string& name, bool pci, int blockCount, const std::string& info = "V1.00");
  void AddKernelModule(const std::string& name, size_t length);
  void AddUniAppModule(const std::string& name, size_t length);
  // A reader that Plug() connects; replaces any earlier one (which must be unplugged).
  void UseReader(sim::ReaderOptions options);
  // The same with the default options as `change` leaves them.
  void UseReader(const std::function<void(sim::ReaderOptions&)>& change) {
    sim::ReaderOptions options;
    change(options);
    UseReader(std::move(options));
  }

  // Called with the interface dialog before it is answered.
  std::function<void(QWidget* dialog)> beforeInterfaceAnswer;

  // Starts the program as a user would: the frame with its start-up view,
  // which switches to the main update view; the interface dialog is answered
  // as given. False when the view did not appear in time.
  bool Start(InterfaceAnswer answer = InterfaceAnswer::Local);
  // Plugs the reader in, starts, and waits until the view shows the reader ready.
  bool StartReady();

  // ---- the reader ----
  void Plug();
  void Unplug();
  sim::SimulatedReader& reader() { return *reader_; }

  // ---- the program ----
  CMainFrame* frame() const { return frame_; }
  CViewConfiguration* view() const { return view_; }
  const std::string& programFolder() const { return folder_.path(); }
  // Ends the program (frame and view); safe to call more than once.
  void Close();
  // Waits (in real time) until the reader has been found and the view shows it.
  bool WaitUntilReady();
  // Presses Update and confirms with "Continue"; returns the confirmation's text.
  QString UpdateConfirmed();
  bool WaitUntilRunOver();

  // ---- reading the screen ----
  QString StatusText() const;
  QColor StatusColour() const;
  QString DeviceInfoText() const;
  QString RowText(int row, int column) const;
  QColor RowColour(int row, int column) const;  // invalid for the default colour
  int RowCount() const;
  void TickRow(int row);
  // True when every control an update disables is enabled (or disabled, for false).
  bool ControlsEnabled(bool enabled) const;

 private:
  std::string FirmwareFolder(const char* name) const;

  ScaledClock clock_;
  ScopedClock scopedClock_;
  TempDir folder_;
  BootloadSettings settings_;
  FakeHidBackend hidBackend_;
  TransportBundle transports_{settings_, hidBackend_};
  std::unique_ptr<sim::SimulatedReader> reader_;
  std::shared_ptr<FakeHidDevice> device_;
  std::unique_ptr<sim::SimHidDevice> runner_;
  bool deviceAdded_ = false;
  CMainFrame* frame_ = nullptr;
  CViewConfiguration* view_ = nullptr;
};

}  // namespace orvane::test
