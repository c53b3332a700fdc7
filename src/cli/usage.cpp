#include "cli/usage.h"

#include "cli/version.h"

namespace orvane::cli {

void PrintUsage(std::FILE* out) {
  std::fputs(
      "Usage: orvane-bootload-cli [OPTIONS] COMMAND [ARGS]\n"
      "\n"
      "Firmware-update tool for the Orvane payment card reader (command line).\n"
      "\n"
      "Commands:\n"
      "  ports                 serial ports and USB HID devices of the configured identities\n"
      "  info                  find the reader and print what it reports about itself\n"
      "  list                  the module files found in the three firmware folders\n"
      "  inspect FILE          parse one module file and print its header and sections\n"
      "                        (--raw: a kernel or UniApp file as 1024-byte chunks)\n"
      "  update --all|NAME...  update the reader with all listed modules or the named ones\n"
      "  udev-rules            print udev rules giving the logged-in user access to the reader\n"
      "  make-demo DIR         make a demo folder for the simulated reader over TCP\n"
      "                        (--demo-port PORT, default 39211)\n"
      "\n"
      "Options (before or after the command):\n"
      "  --interface local|tcp|tls  how the reader is reached (default local: USB HID,\n"
      "                        USB keyboard interface or serial)\n"
      "  --port DEVICE         serial device to try instead of the enumerated ones;\n"
      "                        repeatable (a pseudo-terminal path works)\n"
      "  --q450                the reader is a Q450 behind a 4710 (pass-through route)\n"
      "  --yes                 update without asking for confirmation\n"
      "  --timeout SECONDS     give up when no reader is found in this time (exit status 3);\n"
      "                        default: wait as long as it takes\n"
      "  --config FILE         the configuration file to use\n"
      "  --folder DIR          use DIR as the program folder\n"
      "  --app-folder DIR      application and bootloader modules\n"
      "  --kernel-folder DIR   kernel modules\n"
      "  --uniapp-folder DIR   UniApp modules\n"
      "  --json                machine-readable output: one JSON document, or for update\n"
      "                        one JSON object per line and a final summary object\n"
      "  --help, --version\n"
      "\n"
      "Files:\n"
      "  BootloadConfiguration.xml and the folders FirmwareApp, FirmwareKernel and\n"
      "  UniFirmwareApp are taken from the first of these folders that holds them:\n"
      "    1. the program folder (the folder of this executable, or --folder)\n"
      "    2. $XDG_CONFIG_HOME/orvane-bootload (default ~/.config/orvane-bootload)\n"
      "    3. /etc/orvane-bootload\n"
      "  server_cert.pem and server_key.pem (TLS) are read from the program folder.\n"
      "  ORV_Bootload_log.txt is written to the program folder when the configuration\n"
      "  sets enableLog; if that folder is not writable, to $XDG_STATE_HOME/orvane-bootload\n"
      "  (default ~/.local/state/orvane-bootload).\n"
      "\n"
      "Exit status: 0 success; 1 update or reader command failed, or stopped by Ctrl+C;\n"
      "2 usage error, configuration that fails to load, unreadable file;\n"
      "3 no reader found within --timeout.\n",
      out);
}

void PrintVersion(std::FILE* out) { std::fprintf(out, "%s %s\n", kProgramName, kProgramVersion); }

}  // namespace orvane::cli
