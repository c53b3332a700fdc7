#pragma once
// One command-line session with a reader: the settings, the transports, the
// terminal presenter and the update engine, wired as the desktop program
// wires its main view.

#include <memory>
#include <string>
#include <vector>

#include "app/bootload_settings.h"
#include "bootload/transport_bundle.h"
#include "cli/cli_context.h"
#include "cli/console_output.h"
#include "cli/module_table.h"
#include "cli/reader_address.h"
#include "cli/terminal_presenter.h"
#include "update/update_engine.h"

namespace orvane::cli {

class ReaderSession {
 public:
  // `aim`: the one reader this run may reach (--one-reader), if any.
  ReaderSession(const CliContext& context, const BootloadSettings& settings, const ReaderAddress* aim = nullptr);
  ~ReaderSession();  // stops the engine's threads before anything they use goes
  ReaderSession(const ReaderSession&) = delete;
  ReaderSession& operator=(const ReaderSession&) = delete;

  // Lists the module files of the three folders into the engine; the rows.
  std::vector<ModuleRow> ListModules();

  enum class Found { Yes, TimedOut, Interrupted };
  // Applies the interface choice and waits until the detection has the
  // reader, at most --timeout.
  Found FindReader();

  // Stops every thread of the engine (also what the destructor does).
  void Stop();

  UpdateEngine& engine() { return *engine_; }
  TerminalPresenter& presenter() { return presenter_; }
  ReaderChannel& channel() { return transports_.channel(); }
  const BootloadSettings& settings() const { return settings_; }
  // Where the session log is, if the configuration asks for one and it exists.
  std::string LogPath() const;

 private:
  std::string UniAppParentFolder();

  const CliContext& context_;
  const BootloadSettings settings_;
  ConsoleOutput out_;
  TerminalPresenter presenter_;
  TransportBundle transports_;
  std::string uniAppLinkFolder_;  // a folder of our own holding a link to a UniApp folder of another name
  std::unique_ptr<UpdateEngine> engine_;
};

}  // namespace orvane::cli
