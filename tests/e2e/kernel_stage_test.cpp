// Whole runs with kernel and UniApp modules, and the final status of a run.

#include "e2e/whole_update.h"

namespace orvane::test {
namespace {

TEST_F(WholeUpdate, KernelAndUniAppModulesWithARefusedFinishCommand) {
  AddRaw(kKernelFolderName, "app_ct_l2.fm", 2048, 7);
  AddRaw(kKernelFolderName, "app_nfcrd_l2_amex.fm", 1000, 8);
  AddRaw(kUniAppFolderName, "pay.fm", 3000, 9);
  sim::ReaderOptions options = InBootloader();
  // The answer to the second chunk of the first kernel module is garbled: the
  // tool sends the chunk again and the reader keeps it twice, so the transfer
  // passes but the finish command is refused for the wrong length.
  options.blockFaults = {sim::BlockFault{2, sim::FaultKind::Garble, 0, false}};
  StartReader(Link::Tcp, options);
  Detect();
  RunUpdate({0, 1, 2});

  EXPECT_EQ(rig.view.RowMarks(0),
            (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}, {0, texts::kRowFailed, kRowRed}}));
  EXPECT_EQ(MarkTexts(1), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_EQ(MarkTexts(2), std::vector<std::string>{texts::kRowCompleted});

  const std::vector<sim::ReceivedModule> modules = reader->Modules();
  ASSERT_EQ(modules.size(), 3u);
  EXPECT_EQ(modules[0].tag, 0);
  EXPECT_FALSE(modules[0].finished);
  EXPECT_EQ(modules[1].tag, 5);
  EXPECT_TRUE(modules[1].finished);
  EXPECT_EQ(modules[1].data, BuildRawModule(1000, 8));
  // The failed kernel module did not stop the UniApp module: three chunks
  // (1024, 1024, 952), announced as 3000 bytes, stored after the busy answer.
  EXPECT_TRUE(modules[2].uniApp);
  EXPECT_EQ(modules[2].tag, 16);
  EXPECT_EQ(modules[2].announcedLength, 3000u);
  EXPECT_EQ(modules[2].data, BuildRawModule(3000, 9));
  EXPECT_TRUE(modules[2].finished);
  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x46), 3);

  EXPECT_TRUE(StatusesInOrder({texts::kKernelUpdating, texts::kKernelUpdateFailed, texts::kKernelUpdating,
                               texts::kUniAppUpdating, texts::kKernelUpdating, texts::kUpdateFailed}));
  EXPECT_FALSE(rig.engine->kernelOk());
  EXPECT_TRUE(rig.engine->uniAppOk());
  EXPECT_EQ(rig.engine->statusText(), texts::kUpdateFailed);
  EXPECT_TRUE(rig.engine->attention());
  for (const char* line :
       {"\r\nKernel Update Failed!\r\n", "Start Kernal Update", "[Time Last:", "UniAPP_SEND_BLOCK"}) {
    EXPECT_TRUE(LogHas(line)) << line;
  }
}

// A run whose only failure is its UniApp module is a failed run.
TEST_F(WholeUpdate, RefusedUniAppModuleAloneFailsTheRun) {
  AddRaw(kUniAppFolderName, "pay.fm", 2000, 3);
  sim::ReaderOptions options = InBootloader();
  options.blockFaults = {sim::BlockFault{2, sim::FaultKind::Refuse, 0x0A, true}};
  StartReader(Link::Tcp, options);
  Detect();
  RunUpdate({0});

  EXPECT_EQ(LastMark(0), texts::kRowFailed);
  EXPECT_FALSE(rig.engine->uniAppOk());
  EXPECT_EQ(rig.engine->statusText(), texts::kUpdateFailed);
  EXPECT_TRUE(rig.engine->attention());
}

struct FinalCase {
  const char* name;
  const char* file;  // the failing module of the first stage
  const char* status;
};

void PrintTo(const FinalCase& c, std::ostream* os) { *os << c.name; }

class FinalStatus : public WholeUpdate, public ::testing::WithParamInterface<FinalCase> {};

TEST_P(FinalStatus, CountsApplicationModulesButNotBootloaderModules) {
  AddApp(GetParam().file, 4);
  AddRaw(kKernelFolderName, "app_ct_l2.fm", 500, 1);
  AddRaw(kKernelFolderName, "app_payment_SDK.fm", 700, 2);
  sim::ReaderOptions options = InBootloader();
  options.blockFaults = {sim::BlockFault{5, sim::FaultKind::Refuse, 0x0A, true}};
  StartReader(Link::Hid, options);
  Detect();
  RunUpdate({0, 1, 2});

  EXPECT_EQ(LastMark(0), texts::kRowFailed);
  EXPECT_EQ(MarkTexts(1), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_EQ(MarkTexts(2), std::vector<std::string>{texts::kRowCompleted});
  EXPECT_FALSE(rig.engine->firmwareOk());
  EXPECT_TRUE(rig.engine->kernelOk());
  EXPECT_EQ(rig.engine->statusText(), GetParam().status);
  EXPECT_EQ(reader->Modules().size(), 2u);
}

INSTANTIATE_TEST_SUITE_P(Rules, FinalStatus,
                         ::testing::Values(FinalCase{"FailedBootloaderModule", "x_bootloader.fm",
                                                     texts::kUpdateSucceeded},
                                           FinalCase{"FailedApplicationModule", "app.fm", texts::kUpdateFailed}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvane::test
