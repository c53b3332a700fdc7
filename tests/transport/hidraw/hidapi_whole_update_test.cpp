// A whole update over the hidapi backend: the simulated reader's HID device
// logic behind the hidraw stand-in, numbered reports under header framing,
// and the reboot into the bootloader taking the device away and back.

#include "e2e/whole_update.h"
#include "hid_descriptors.h"
#include "hidraw_standin.h"
#include "transport/hidapi_backend.h"

namespace orvane::test {
namespace {

// Built before the rig, which opens the reader through it, and gone after it.
struct HidapiHost {
  HidapiHost() { HidrawStandin::Reset(); }
  TempDir sysfs;
  HidapiBackend backend{sysfs.path()};
};

class HidapiWholeUpdate : private HidapiHost, public WholeUpdate, public ::testing::WithParamInterface<bool> {
 protected:
  HidapiWholeUpdate() : WholeUpdate(100, &backend) {}

  void StartHidReader(sim::ReaderOptions options, bool descriptorReadable) {
    ChooseLink(Link::Hid);
    reader = std::make_unique<sim::SimulatedReader>(std::move(options));
    hidDevice = std::make_shared<FakeHidDevice>(kRigVendorId, kRigProductId, 0, false, kNumberedLengths);
    if (descriptorReadable) WriteReportDescriptor(sysfs, "hidraw0", VendorDescriptor(true));
    HidrawStandin::Plug({"/dev/hidraw0", hidDevice, true, L"R1"});
    hidRunner = std::make_unique<sim::SimHidDevice>(*reader, hidDevice);
    ASSERT_TRUE(hidRunner->Start());
  }
};

TEST_P(HidapiWholeUpdate, ApplicationModuleFromApplicationMode) {
  ASSERT_TRUE(AddAppModule(rig.folder.path(), "app_main.fm", AppModuleSpec(true, 6)));
  sim::ReaderOptions options;
  options.framing = FrameProtocol::Header;
  StartHidReader(options, GetParam());
  Detect();
  RunUpdate({0});

  EXPECT_EQ(ReceivedHeaderCommands(0xC7, 0x41), 1) << "one entry command";
  EXPECT_EQ(reader->BlockImage(), SectionsOf(AppModulePath("app_main.fm")));
  EXPECT_EQ(rig.view.RowMarks(), (std::vector<RowMark>{{0, texts::kRowCompleted, kRowBlue}}));
  EXPECT_EQ(rig.engine->statusText(), texts::kFirmwareUpdateSucceeded);
  // The reader went away for its reboot and was opened again afterwards.
  EXPECT_GE(hidDevice->OpenCount(), 2);
  EXPECT_EQ(HidrawStandin::Misuses(), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Descriptor, HidapiWholeUpdate, ::testing::Bool(),
                         [](const auto& info) { return std::string(info.param ? "Readable" : "Unreadable"); });

}  // namespace
}  // namespace orvane::test
