#include "firmware/module_discovery.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "firmware/firmware_file.h"
#include "firmware/module_writer.h"
#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::TempDir;

// The kind number goes to the reader as the module's tag.
TEST(ModuleKindTest, FirstTextOfTheTableInTheNameDecides) {
  struct Case {
    const char* name;
    ModuleKind kind;
  };
  const Case cases[] = {
      {"app_nfcrd_l2_smarttap.fm", ModuleKind::NfcSmarttap},
      // an earlier row of the table wins wherever its text stands
      {"app_payment_App_payment_SDK.fm", ModuleKind::PaymentSdk},
      {"app_nfcrd_l2_jcb_nfcrd_l2_ppse.fm", ModuleKind::NfcPpse},
      {"app_nfcrd_l2_amex_ct_l2.fm", ModuleKind::CtL2},
      // no match, or a match in the wrong case, gives 0
      {"app_other.fm", ModuleKind::CtL2},
      {"app_NFCRD_L2_AMEX.fm", ModuleKind::CtL2},
  };
  for (const Case& c : cases) EXPECT_EQ(ModuleKindFromName(c.name), c.kind) << c.name;
  // Only a name with none of the texts falls back to 0, unlike "ct_l2" itself.
  EXPECT_TRUE(NamesModuleKind("app_ct_l2.fm"));
  EXPECT_FALSE(NamesModuleKind("app_payment_sdk.fm"));
  EXPECT_EQ(static_cast<int>(ModuleKind::PaymentApp), 12);
  EXPECT_EQ(static_cast<int>(ModuleKind::UniApp), 16);
}

TEST(ModulePatternTest, MatchesTheExtensionOnly) {
  for (const char* yes : {"a.fm", ".fm", "x.FM", "x.Fm", "a.b.fm"}) EXPECT_TRUE(MatchesModulePattern(yes)) << yes;
  for (const char* no : {"fm", "a.fmx", "a.fm.bak", "afm", "a_fm", "a.f"}) EXPECT_FALSE(MatchesModulePattern(no)) << no;
}

class RecordingSink : public ModuleRowSink {
 public:
  void InsertRow(int row, const std::string& name, const std::string& info) override {
    rows.push_back(std::to_string(row) + " " + name + " " + info);
  }
  std::vector<std::string> rows;
};

class ModuleDiscoveryTest : public testing::Test {
 protected:
  std::string Folder(const char* name) {
    std::string path = root_.File(name);
    ::mkdir(path.c_str(), 0755);
    return path;
  }
  static void Module(const std::string& folder, const std::string& name, const std::string& info) {
    ModuleSpec spec;
    spec.infoText = info;
    ASSERT_TRUE(WriteModuleFile(folder + "/" + name, spec));
  }
  static void Raw(const std::string& folder, const std::string& name) {
    ASSERT_TRUE(WriteRawModuleFile(folder + "/" + name, 100));
  }

  TempDir root_;
  FirmwareFile file_;
  RecordingSink sink_;
  ModuleLists lists_;
};

// Sorting, refused headers and kinds are also seen through the command line's
// list; here the entries only a folder can hold.
TEST_F(ModuleDiscoveryTest, LinksFoldersAndOddNamesInTheThreeFolders) {
  std::string app = Folder("FirmwareApp"), kernel = Folder("FirmwareKernel"), uni = Folder("UniFirmwareApp");
  Module(app, "a_app.FM", "App 3.0");
  ASSERT_EQ(::mkdir((app + "/d_folder.fm").c_str(), 0755), 0);
  ASSERT_EQ(::symlink((app + "/a_app.FM").c_str(), (app + "/e_link.fm").c_str()), 0);
  Raw(kernel, "app_other.fm");
  ASSERT_EQ(::mkdir((kernel + "/app_folder.fm").c_str(), 0755), 0);
  Raw(uni, "u1.fm");
  Raw(uni, ".fm");
  Raw(uni, "u2.FM");  // matches the pattern but holds no ".fm"
  Raw(uni, "u0.fm.fm");

  testing::internal::CaptureStdout();
  lists_.InitFirmwareFolders(root_.path(), file_, sink_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(sink_.rows, (std::vector<std::string>{"0 a_app.FM App 3.0", "1 e_link.fm App 3.0", "2 app_other.fm Kernel",
                                                  "3 u0.fm.fm UniApp", "4 u1.fm UniApp"}));
  EXPECT_EQ(lists_.listedFileCount, 5);
  EXPECT_TRUE(file_.sections.empty());  // a row needs the header and the info text only
  ASSERT_EQ(lists_.kernelModules.size(), 1u);
  EXPECT_EQ(lists_.kernelModules[0].kind, ModuleKind::CtL2);
  EXPECT_EQ(lists_.uniAppModules.at(1).kind, ModuleKind::UniApp);
}

TEST_F(ModuleDiscoveryTest, FoldersWithoutMatchesAreReportedOnStandardOutput) {
  testing::internal::CaptureStdout();
  lists_.InitFirmwareFolders(root_.path(), file_, sink_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "search file failed!\nSearch file failed!\nSearch file failed!\n");
  // A folder with no "*.fm" entry is reported; one whose matches are all
  // refused is not.
  std::string app = Folder("FirmwareApp");
  std::string kernel = Folder("FirmwareKernel");
  Raw(app, "readme.txt");
  Raw(kernel, "kernel_x.fm");
  testing::internal::CaptureStdout();
  lists_.InitFirmwareFolders(root_.path(), file_, sink_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "search file failed!\nSearch file failed!\n");
  EXPECT_TRUE(sink_.rows.empty());
  EXPECT_EQ(lists_.listedFileCount, 0);
}

TEST_F(ModuleDiscoveryTest, ChoosingAFolderRelistsAllThreeFromRowZero) {
  std::string app = Folder("FirmwareApp"), kernel = Folder("FirmwareKernel"), uni = Folder("UniFirmwareApp");
  std::string otherKernel = Folder("other-kernels");
  Module(app, "one.fm", "1");
  Module(app, "two.fm", "2");
  Raw(kernel, "app_ct_l2.fm");
  Raw(uni, "uni.fm");
  Raw(otherKernel, "app_nfcrd_l2_cup.fm");
  Raw(otherKernel, "app_nfcrd_l2_jcb.fm");

  lists_.InitFirmwareFolders(root_.path(), file_, sink_);
  ASSERT_EQ(lists_.listedFileCount, 4);
  lists_.appModules[0].selected = true;
  sink_.rows.clear();
  lists_.ChooseKernelFolder(otherKernel, file_, sink_);
  EXPECT_EQ(sink_.rows, (std::vector<std::string>{"0 one.fm 1", "1 two.fm 2", "2 app_nfcrd_l2_cup.fm Kernel",
                                                  "3 app_nfcrd_l2_jcb.fm Kernel", "4 uni.fm UniApp"}));
  EXPECT_EQ(lists_.kernelFolder, otherKernel);
  EXPECT_FALSE(lists_.appModules[0].selected);  // records are new
  EXPECT_EQ(lists_.kernelModules.at(1).kind, ModuleKind::NfcJcb);

  // A new application folder: its own list is replaced, not added to.
  std::string otherApp = Folder("other-apps");
  Module(otherApp, "three.fm", "3");
  sink_.rows.clear();
  lists_.ChooseAppFolder(otherApp, file_, sink_);
  ASSERT_EQ(lists_.appModules.size(), 1u);
  ASSERT_EQ(sink_.rows.size(), 4u);
  EXPECT_EQ(sink_.rows[0], "0 three.fm 3");
  EXPECT_EQ(lists_.listedFileCount, 4);
}

}  // namespace
}  // namespace orvane
