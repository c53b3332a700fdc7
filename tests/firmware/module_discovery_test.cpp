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

struct Row {
  int row;
  std::string name;
  std::string info;
  bool operator==(const Row&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Row& r) {
  return out << "{" << r.row << ", " << r.name << ", " << r.info << "}";
}

class RecordingSink : public ModuleRowSink {
 public:
  void InsertRow(int row, const std::string& name, const std::string& info) override {
    rows.push_back({row, name, info});
  }
  std::vector<Row> rows;
};

TEST(ModuleKindTest, FirstTextOfTheTableInTheNameDecides) {
  struct Case {
    const char* name;
    ModuleKind kind;
  };
  const Case cases[] = {
      {"app_ct_l2.fm", ModuleKind::CtL2},
      {"app_nfcrd_l2_ppse.fm", ModuleKind::NfcPpse},
      {"app_nfcrd_l2_vcps.fm", ModuleKind::NfcVcps},
      {"app_nfcrd_l2_mchip.fm", ModuleKind::NfcMchip},
      {"app_nfcrd_l2_dpass.fm", ModuleKind::NfcDpass},
      {"app_nfcrd_l2_amex.fm", ModuleKind::NfcAmex},
      {"app_nfcrd_l2_interac.fm", ModuleKind::NfcInterac},
      {"app_nfcrd_l2_cup.fm", ModuleKind::NfcCup},
      {"app_nfcrd_l2_jcb.fm", ModuleKind::NfcJcb},
      {"app_nfcrd_l2_apvas.fm", ModuleKind::NfcApvas},
      {"app_nfcrd_l2_smarttap.fm", ModuleKind::NfcSmarttap},
      {"app_payment_SDK.fm", ModuleKind::PaymentSdk},
      {"app_payment_App.fm", ModuleKind::PaymentApp},
      // an earlier row of the table wins wherever its text stands
      {"app_payment_SDK_payment_App.fm", ModuleKind::PaymentSdk},
      {"app_payment_App_payment_SDK.fm", ModuleKind::PaymentSdk},
      {"app_nfcrd_l2_jcb_nfcrd_l2_ppse.fm", ModuleKind::NfcPpse},
      {"app_nfcrd_l2_amex_ct_l2.fm", ModuleKind::CtL2},
      // no match, or a match in the wrong case, gives 0
      {"app_other.fm", ModuleKind::CtL2},
      {"app_payment_sdk.fm", ModuleKind::CtL2},
      {"app_NFCRD_L2_AMEX.fm", ModuleKind::CtL2},
      {"", ModuleKind::CtL2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ModuleKindFromName(c.name), c.kind) << c.name;
  }
  // Only a name with none of the texts falls back to 0, unlike "ct_l2" itself.
  EXPECT_TRUE(NamesModuleKind("app_ct_l2.fm"));
  EXPECT_TRUE(NamesModuleKind("app_x_payment_App.fm"));
  EXPECT_FALSE(NamesModuleKind("app_other.fm"));
  EXPECT_FALSE(NamesModuleKind("app_payment_sdk.fm"));
  EXPECT_EQ(static_cast<int>(ModuleKind::PaymentApp), 12);
  EXPECT_EQ(static_cast<int>(ModuleKind::UniApp), 16);
}

TEST(ModulePatternTest, MatchesTheExtensionOnly) {
  for (const char* yes : {"a.fm", ".fm", "x.FM", "x.Fm", "a.b.fm"}) EXPECT_TRUE(MatchesModulePattern(yes)) << yes;
  for (const char* no : {"fm", "a.fmx", "a.fm.bak", "afm", "a_fm", "a.f"}) EXPECT_FALSE(MatchesModulePattern(no)) << no;
}

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
  static std::vector<std::string> Names(const std::vector<ModuleFile>& list) {
    std::vector<std::string> names;
    for (const ModuleFile& m : list) names.push_back(m.name);
    return names;
  }

  TempDir root_;
  FirmwareFile file_;
  RecordingSink sink_;
  ModuleLists lists_;
};

TEST_F(ModuleDiscoveryTest, ListsTheThreeFoldersInOrderWithOneRowCounter) {
  std::string app = Folder("FirmwareApp");
  std::string kernel = Folder("FirmwareKernel");
  std::string uni = Folder("UniFirmwareApp");
  // Created out of order: the rows come sorted by name.
  Module(app, "x_bootloader.fm", "Boot 1.0");
  Module(app, "Bootloader_x.fm", "App 2.0");
  Module(app, "a_app.FM", "App 3.0");
  ModuleSpec broken;
  broken.securityType = "secure";
  ASSERT_TRUE(WriteModuleFile(app + "/b_broken.fm", broken));
  Module(app, "c_notes.txt", "not a module name");
  ASSERT_EQ(::mkdir((app + "/d_folder.fm").c_str(), 0755), 0);
  ASSERT_EQ(::symlink((app + "/a_app.FM").c_str(), (app + "/e_link.fm").c_str()), 0);

  Raw(kernel, "app_payment_SDK_payment_App.fm");
  Raw(kernel, "app_nfcrd_l2_amex.fm");
  Raw(kernel, "kernel_app_x.fm");
  Raw(kernel, "App_x.fm");
  Raw(kernel, "app_other.fm");
  ASSERT_EQ(::mkdir((kernel + "/app_folder.fm").c_str(), 0755), 0);

  Raw(uni, "u1.fm");
  Raw(uni, ".fm");
  Raw(uni, "u2.FM");  // matches the pattern but holds no ".fm"
  Raw(uni, "u0.fm.fm");

  testing::internal::CaptureStdout();
  lists_.InitFirmwareFolders(root_.path(), file_, sink_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");

  EXPECT_EQ(lists_.appFolder, app);
  EXPECT_EQ(lists_.kernelFolder, kernel);
  EXPECT_EQ(lists_.uniAppFolder, uni);
  const std::vector<Row> expected = {
      {0, "Bootloader_x.fm", "App 2.0"},
      {1, "a_app.FM", "App 3.0"},
      {2, "e_link.fm", "App 3.0"},
      {3, "x_bootloader.fm", "Boot 1.0"},
      {4, "app_nfcrd_l2_amex.fm", "Kernel"},
      {5, "app_other.fm", "Kernel"},
      {6, "app_payment_SDK_payment_App.fm", "Kernel"},
      {7, "u0.fm.fm", "UniApp"},
      {8, "u1.fm", "UniApp"},
  };
  EXPECT_EQ(sink_.rows, expected);
  EXPECT_EQ(lists_.listedFileCount, 9);
  // A row needs the header and the info text only; no body was read.
  EXPECT_TRUE(file_.sections.empty());

  ASSERT_EQ(lists_.appModules.size(), 4u);
  EXPECT_FALSE(lists_.appModules[0].isBootloader);  // "Bootloader" is not "bootloader"
  EXPECT_FALSE(lists_.appModules[1].isBootloader);
  EXPECT_TRUE(lists_.appModules[3].isBootloader);
  for (size_t i = 0; i < lists_.appModules.size(); ++i) {
    EXPECT_EQ(lists_.appModules[i].row, static_cast<int>(i));
    EXPECT_FALSE(lists_.appModules[i].selected);
  }

  ASSERT_EQ(lists_.kernelModules.size(), 3u);
  EXPECT_EQ(lists_.kernelModules[0].kind, ModuleKind::NfcAmex);
  EXPECT_EQ(lists_.kernelModules[1].kind, ModuleKind::CtL2);
  EXPECT_EQ(lists_.kernelModules[2].kind, ModuleKind::PaymentSdk);
  EXPECT_EQ(lists_.kernelModules[2].row, 6);

  ASSERT_EQ(Names(lists_.uniAppModules), (std::vector<std::string>{"u0.fm.fm", "u1.fm"}));
  for (const ModuleFile& m : lists_.uniAppModules) EXPECT_EQ(m.kind, ModuleKind::UniApp);
}

TEST_F(ModuleDiscoveryTest, FoldersWithoutMatchesAreReportedOnStandardOutput) {
  testing::internal::CaptureStdout();
  lists_.InitFirmwareFolders(root_.path(), file_, sink_);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "search file failed!\nSearch file failed!\nSearch file failed!\n");
  EXPECT_TRUE(sink_.rows.empty());
  EXPECT_EQ(lists_.listedFileCount, 0);

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
  EXPECT_TRUE(lists_.kernelModules.empty());
}

TEST_F(ModuleDiscoveryTest, ChoosingAFolderRelistsAllThreeFromRowZero) {
  std::string app = Folder("FirmwareApp");
  std::string kernel = Folder("FirmwareKernel");
  std::string uni = Folder("UniFirmwareApp");
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
  const std::vector<Row> expected = {
      {0, "one.fm", "1"},
      {1, "two.fm", "2"},
      {2, "app_nfcrd_l2_cup.fm", "Kernel"},
      {3, "app_nfcrd_l2_jcb.fm", "Kernel"},
      {4, "uni.fm", "UniApp"},
  };
  EXPECT_EQ(sink_.rows, expected);
  EXPECT_EQ(lists_.kernelFolder, otherKernel);
  EXPECT_FALSE(lists_.appModules[0].selected);  // records are new
  ASSERT_EQ(lists_.kernelModules.size(), 2u);
  EXPECT_EQ(lists_.kernelModules[0].kind, ModuleKind::NfcCup);
  EXPECT_EQ(lists_.kernelModules[1].kind, ModuleKind::NfcJcb);
  EXPECT_EQ(lists_.uniAppModules.at(0).row, 4);

  // A new application folder: its own list is replaced, not added to.
  std::string otherApp = Folder("other-apps");
  Module(otherApp, "three.fm", "3");
  sink_.rows.clear();
  lists_.ChooseAppFolder(otherApp, file_, sink_);
  EXPECT_EQ(Names(lists_.appModules), std::vector<std::string>{"three.fm"});
  ASSERT_EQ(sink_.rows.size(), 4u);
  EXPECT_EQ(sink_.rows[0], (Row{0, "three.fm", "3"}));
  EXPECT_EQ(lists_.listedFileCount, 4);
}

}  // namespace
}  // namespace orvane
