#pragma once
// Finding the module files in the three firmware folders and listing them.
//
// Each search visits the "*.fm" entries of its folder sorted by name (so two
// runs list the same rows), hands each accepted file to a row sink as one new
// row and keeps a ModuleFile record for it. The rows of all three folders are
// numbered by one shared counter: application folder first, then kernel, then
// UniApp.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

class FirmwareFile;

// The byte that names a kernel or UniApp module to the reader.
enum class ModuleKind : uint8_t {
  CtL2 = 0,
  NfcPpse = 1,
  NfcVcps = 2,
  NfcMchip = 3,
  NfcDpass = 4,
  NfcAmex = 5,
  NfcInterac = 6,
  NfcCup = 7,
  NfcJcb = 8,
  NfcApvas = 9,
  NfcSmarttap = 10,
  PaymentSdk = 11,
  PaymentApp = 12,
  UniApp = 16,
};

// Kind of a kernel module from its file name: the first text of the table that
// occurs in the name (case-sensitive); CtL2 (0) when none does.
ModuleKind ModuleKindFromName(std::string_view name);
// Whether a text of that table occurs in the name. A kernel file whose name
// has none loads as module 0, over the CT L2 kernel and any other such file.
bool NamesModuleKind(std::string_view name);

inline constexpr const char kAppFolderName[] = "FirmwareApp";
inline constexpr const char kKernelFolderName[] = "FirmwareKernel";
inline constexpr const char kUniAppFolderName[] = "UniFirmwareApp";
inline constexpr const char kKernelInfoText[] = "Kernel";
inline constexpr const char kUniAppInfoText[] = "UniApp";

// One discovered module file. Application-folder records use isBootloader;
// kernel and UniApp records use kind.
struct ModuleFile {
  std::string name;  // file name without folder
  int32_t row = 0;   // row in the file list
  bool selected = false;
  bool isBootloader = false;  // name contains "bootloader" (lower case)
  ModuleKind kind = ModuleKind::CtL2;
};

// Where the rows go: the main view's list, the command line's table, a test.
class ModuleRowSink {
 public:
  virtual ~ModuleRowSink() = default;
  virtual void InsertRow(int row, const std::string& name, const std::string& info) = 0;
};

// The three folders, their lists and the shared row counter.
// Used from one thread (the view's).
class ModuleLists {
 public:
  std::string appFolder;
  std::string kernelFolder;
  std::string uniAppFolder;

  std::vector<ModuleFile> appModules;     // application and bootloader modules
  std::vector<ModuleFile> kernelModules;
  std::vector<ModuleFile> uniAppModules;

  int listedFileCount = 0;  // rows inserted so far, across all three lists

  // Sets the three folders below `programFolder` and searches them in order.
  // Runs once, on an empty list: neither resets the counter nor clears rows.
  void InitFirmwareFolders(const std::string& programFolder, FirmwareFile& file, ModuleRowSink& sink);

  // Each empties its own list, then lists the files of `folder` that it
  // accepts. Prints "search file failed!" (application folder) or
  // "Search file failed!" (the others) on standard output when the folder
  // cannot be read or holds no "*.fm" entry.
  //
  // Application folder: every regular "*.fm" file whose header passes the
  // checks of ParseModuleFile (JudgeModuleFile: the body is not read); the
  // row's info is the module's info text. `file` is reused and holds the
  // header of the last file judged afterwards, and no sections.
  void SearchAppFolder(const std::string& folder, FirmwareFile& file, ModuleRowSink& sink);
  // Kernel folder: names that begin with "app_"; info "Kernel". Not opened.
  void SearchKernelFolder(const std::string& folder, ModuleRowSink& sink);
  // UniApp folder: names with ".fm" after their first character; info
  // "UniApp"; kind UniApp. Not opened.
  void SearchUniAppFolder(const std::string& folder, ModuleRowSink& sink);

  // A new folder chosen by the operator: the counter restarts at 0 and all
  // three folders are listed again. The caller deletes its rows first.
  void ChooseAppFolder(const std::string& folder, FirmwareFile& file, ModuleRowSink& sink);
  void ChooseKernelFolder(const std::string& folder, FirmwareFile& file, ModuleRowSink& sink);

 private:
  void SearchAll(FirmwareFile& file, ModuleRowSink& sink);
};

// Whether a directory entry name matches "*.fm" (the extension compared
// without regard to case, as the folders may come from case-blind systems).
bool MatchesModulePattern(std::string_view name);

}  // namespace orvane
