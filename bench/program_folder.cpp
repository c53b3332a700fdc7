#include "program_folder.h"

#include <sys/stat.h>

#include <fstream>

#include "firmware/module_writer.h"

namespace orvane::bench {

bool WriteConfiguration(const test::TempDir& folder, const ProgramFolderSpec& spec) {
  std::ofstream config(folder.File("BootloadConfiguration.xml"));
  config << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<BOOTLOAD_SETTING>\n"
            "  <USB vid_pid=\"1209,3810\" isOVG=\"1\"/>\n"
            "  <SERIAL com_port=\"1\" baudrateList=\""
         << spec.baud
         << "\" parity=\"N\" databit=\"8\" stopbit=\"1\"/>\n"
            "  <SWITCHES enableLog=\"1\" EnableInterruptPointReserve=\"1\"/>\n"
            "  <NETWORK TLS_Server_Port=\"0\" TCP_Server_IP=\"127.0.0.1\" TCP_Server_Port=\""
         << spec.tcpPort << "\"/>\n</BOOTLOAD_SETTING>\n";
  config.close();
  return static_cast<bool>(config);
}

bool WriteProgramFolder(const test::TempDir& folder, const ProgramFolderSpec& spec) {
  for (const char* sub : {"FirmwareApp", "FirmwareKernel", "UniFirmwareApp"}) ::mkdir(folder.File(sub).c_str(), 0755);
  if (!WriteConfiguration(folder, spec)) return false;
  ModuleSpec module;
  module.infoText = "Benchmark module";
  module.blockSize = 1024;
  module.blockCount = static_cast<uint16_t>(spec.commands - 3);
  return WriteModuleFile(folder.File("FirmwareApp/bench_application.fm"), module);
}

}  // namespace orvane::bench
