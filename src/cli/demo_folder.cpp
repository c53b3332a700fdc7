#include "cli/demo_folder.h"

#include <filesystem>
#include <fstream>
#include <system_error>

#include "app/bootload_settings.h"
#include "app/program_folder.h"
#include "firmware/module_discovery.h"
#include "firmware/module_writer.h"

namespace orvane::cli {
namespace {

struct DemoModule {
  const char* name;
  uint8_t moduleType;
  const char* info;
  uint16_t blockSize;
  uint16_t blockCount;
  uint32_t baseAddress;
};

// Matching the simulated reader's defaults: a PCI reader.
constexpr DemoModule kAppModules[] = {
    {"demo_bootloader.fm", kModuleTypeBootloader, "Demo BL V1.06", 256, 24, 0x00008000},
    {"demo_application.fm", kModuleTypeApplication, "Demo APP V2.01", 512, 96, 0x00020000},
};

struct DemoRawModule {
  const char* folder;
  const char* name;
  size_t length;
  uint32_t seed;
};

constexpr DemoRawModule kRawModules[] = {
    {kKernelFolderName, "app_ct_l2_demo.fm", 6000, 1},
    {kKernelFolderName, "app_nfcrd_l2_amex_demo.fm", 9000, 2},
    {kUniAppFolderName, "demo_uniapp.fm", 3000, 3},
};

bool WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

}  // namespace

std::string DemoConfiguration(int tcpPort) {
  return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!-- Demo: the simulated reader (orvane-reader-sim --tcp-listen " +
         std::to_string(tcpPort) +
         ") on this machine. Choose \"TCP / IP\" (or --interface tcp). -->\n"
         "<BOOTLOAD_SETTING>\n"
         "  <USB vid_pid=\"1209,3810\" isOVG=\"1\"/>\n"
         "  <SERIAL com_port=\"1\" baudrateList=\"38400,115200,9600\" parity=\"N\" databit=\"8\" stopbit=\"1\"/>\n"
         "  <SWITCHES enableLog=\"1\" EnableInterruptPointReserve=\"1\"/>\n"
         "  <NETWORK TLS_Server_Port=\"" +
         std::to_string(tcpPort + 1) + "\" TCP_Server_IP=\"127.0.0.1\" TCP_Server_Port=\"" + std::to_string(tcpPort) +
         "\"/>\n"
         "</BOOTLOAD_SETTING>\n";
}

DemoFolderResult MakeDemoFolder(const std::string& folder, int tcpPort) {
  DemoFolderResult result;
  std::error_code ec;
  for (const char* sub : {kAppFolderName, kKernelFolderName, kUniAppFolderName}) {
    std::filesystem::create_directories(PathInFolder(folder, sub), ec);
    if (ec) {
      result.error = "cannot create " + PathInFolder(folder, sub) + ": " + ec.message();
      return result;
    }
  }
  const auto fail = [&](const std::string& path) {
    result.error = "cannot write " + path;
    return result;
  };

  std::string config = PathInFolder(folder, kConfigurationFileName);
  if (!WriteText(config, DemoConfiguration(tcpPort))) return fail(config);
  result.files.push_back(config);

  for (const auto& m : kAppModules) {
    ModuleSpec spec;
    spec.moduleType = m.moduleType;
    spec.infoText = m.info;
    spec.secondValue = "demo";
    spec.blockSize = m.blockSize;
    spec.blockCount = m.blockCount;
    spec.baseAddress = m.baseAddress;
    std::string path = PathInFolder(PathInFolder(folder, kAppFolderName), m.name);
    if (!WriteModuleFile(path, spec)) return fail(path);
    result.files.push_back(path);
  }
  for (const auto& m : kRawModules) {
    std::string path = PathInFolder(PathInFolder(folder, m.folder), m.name);
    if (!WriteRawModuleFile(path, m.length, m.seed)) return fail(path);
    result.files.push_back(path);
  }
  result.ok = true;
  return result;
}

}  // namespace orvane::cli
