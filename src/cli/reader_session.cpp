#include "cli/reader_session.h"

#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <system_error>

#include "app/clock.h"
#include "app/program_folder.h"
#include "app/session_log.h"
#include "cli/named_ports.h"
#include "cli/one_reader.h"
#include "cli/stdout_diversion.h"
#include "firmware/module_discovery.h"

namespace orvane::cli {
namespace {

namespace fs = std::filesystem;

std::string Basename(const std::string& path) {
  fs::path p(path);
  if (!p.has_filename()) p = p.parent_path();
  return p.filename().string();
}

std::string Parent(const std::string& path) {
  fs::path p(path);
  if (!p.has_filename()) p = p.parent_path();
  return p.parent_path().string();
}

bool SameFolder(const std::string& a, const std::string& b) {
  std::error_code ec;
  return fs::weakly_canonical(a, ec) == fs::weakly_canonical(b, ec);
}

}  // namespace

ReaderSession::ReaderSession(const CliContext& context, const BootloadSettings& settings, const ReaderAddress* aim)
    : context_(context),
      settings_(settings),
      out_(context.out, !context.options.json && ::isatty(::fileno(context.out)) == 1),
      presenter_(out_, context.err, context.options.json, context.options.yes),
      transports_(settings_, DefaultHidBackend()) {
  // Before the engine exists: its threads may list the ports at once.
  UseNamedPorts(transports_.channel(), context.options.ports);
  if (aim) AimTransportsAt(*aim, transports_);
  engine_ = std::make_unique<UpdateEngine>(transports_.channel(), presenter_);
  presenter_.AttachEngine(engine_.get());
}

ReaderSession::~ReaderSession() {
  Stop();
  engine_.reset();
  if (!uniAppLinkFolder_.empty()) {
    std::error_code ec;
    fs::remove_all(uniAppLinkFolder_, ec);
  }
}

void ReaderSession::Stop() {
  if (engine_) engine_->Shutdown();
}

// The engine lists the UniApp folder as "UniFirmwareApp" below a given
// folder; a UniApp folder of another name is reached through a link of that
// name in a private temporary folder.
std::string ReaderSession::UniAppParentFolder() {
  const std::string& uni = context_.files.uniAppFolder;
  if (Basename(uni) == kUniAppFolderName) return Parent(uni);
  std::string pattern = (fs::temp_directory_path() / "orvane-bootload-cli-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) return Parent(uni);
  uniAppLinkFolder_ = pattern;
  std::error_code ec;
  fs::create_directory_symlink(fs::absolute(uni, ec), fs::path(pattern) / kUniAppFolderName, ec);
  return pattern;
}

std::vector<ModuleRow> ReaderSession::ListModules() {
  const ProgramFiles& files = context_.files;
  {
    StdoutDiversion diversion;  // the searches' complaints are not results
    const std::string parent = UniAppParentFolder();
    engine_->InitFirmwareFolders(parent);
    if (!SameFolder(files.appFolder, PathInFolder(parent, kAppFolderName))) engine_->ChooseAppFolder(files.appFolder);
    if (!SameFolder(files.kernelFolder, PathInFolder(parent, kKernelFolderName))) {
      engine_->ChooseKernelFolder(files.kernelFolder);
    }
  }
  std::vector<ModuleRow> rows = RowsOf(engine_->Lists(), {});
  for (auto& row : rows) {
    if (row.group == ModuleGroup::UniApp) row.path = PathInFolder(files.uniAppFolder, row.name);
  }
  presenter_.SetModuleRows(rows);  // keeps the info texts that the listing gave
  return presenter_.Rows();
}

ReaderSession::Found ReaderSession::FindReader() {
  const CliOptions& o = context_.options;
  engine_->ApplyInterfaceChoice(o.interface);
  engine_->OnModelBox(o.q450);
  switch (o.interface) {
    case InterfaceUsbSerial:
      presenter_.Note(o.ports.empty() ? "Looking for the reader on USB and the serial ports..."
                                      : "Looking for the reader on USB and the named serial ports...");
      break;
    case InterfaceTcpClient:
      presenter_.Note("Connecting to the reader at " + settings_.tcpServerIp + ":" +
                      std::to_string(settings_.tcpServerPort) + " (TCP)...");
      break;
    case InterfaceTlsServer:
      presenter_.Note("Waiting for the reader's TLS connection on port " + std::to_string(settings_.tlsServerPort) +
                      "...");
      break;
  }
  std::optional<uint64_t> deadline;
  if (o.timeoutSeconds) deadline = TickMs() + static_cast<uint64_t>(std::llround(*o.timeoutSeconds * 1000.0));
  engine_->StartDetection();
  // Found once the detection has handed over to the presence monitor, as the
  // desktop program enables its Update button only then; an update started
  // earlier would race the monitor's start for the reader.
  auto found = [this] { return engine_->ready() && engine_->monitorRunFlag(); };
  switch (presenter_.Pump(found, deadline)) {
    case TerminalPresenter::PumpEnd::Done: return Found::Yes;
    case TerminalPresenter::PumpEnd::TimedOut: return Found::TimedOut;
    case TerminalPresenter::PumpEnd::Interrupted: break;
  }
  return Found::Interrupted;
}

std::string ReaderSession::LogPath() const {
  if (settings_.enableLog != 1) return {};
  std::error_code ec;
  for (const std::string& folder : {ProgramFolder(), FallbackLogFolder()}) {
    if (folder.empty()) continue;
    std::string path = PathInFolder(folder, SessionLogFileName());
    if (fs::exists(path, ec)) return path;
  }
  return {};
}

}  // namespace orvane::cli
