#include "app/bootload_settings.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::TempDir;

struct Loaded {
  bool ok;
  BootloadSettings settings;
};

Loaded LoadXml(const std::string& xml) {
  TempDir dir;
  Loaded result{false, {}};
  result.ok = LoadBootloadSettingsFromPath(result.settings, dir.Write("BootloadConfiguration.xml", xml));
  return result;
}

std::string Settings(const std::string& children) {
  return "<?xml version=\"1.0\"?>\n<BOOTLOAD_SETTING>\n" + children + "</BOOTLOAD_SETTING>\n";
}

TEST(BootloadSettings, FullExampleFillsEveryField) {
  auto r = LoadXml(Settings(
      "<USB vid_pid=\"1D6B,3810\" isOVG=\"1\"/>\n"
      "<USB2 vid_pid=\"0acd,4521\"/>\n"
      "<SERIAL com_port=\"3\" baudrateList=\"38400,9600\" parity=\"N\" databit=\"8\" stopbit=\"1\"/>\n"
      "<SW enableLog=\"1\" EnableInterruptPointReserve=\"1\"/>\n"
      "<NET TLS_Server_Port=\"8443\" TCP_Server_IP=\"127.0.0.1\" TCP_Server_Port=\"9000\"/>\n"));
  ASSERT_TRUE(r.ok);
  const auto& s = r.settings;
  ASSERT_EQ(s.vidPidList.size(), 2u);
  EXPECT_EQ(s.vidPidList[0].vid, 0x1D6Bu);
  EXPECT_EQ(s.vidPidList[0].pid, 0x3810u);
  EXPECT_EQ(s.vidPidList[0].isOVG, 1);
  EXPECT_EQ(s.vidPidList[1].vid, 0x0ACDu);
  EXPECT_EQ(s.vidPidList[1].pid, 0x4521u);
  EXPECT_EQ(s.vidPidList[1].isOVG, 0);
  EXPECT_EQ(s.baudRateList, (std::vector<int32_t>{38400, 9600}));
  EXPECT_EQ(s.parity, "N");
  EXPECT_EQ(s.dataBits, "8");
  EXPECT_EQ(s.stopBits, "1");
  EXPECT_EQ(s.comPort, 3);
  EXPECT_EQ(s.enableLog, 1);
  EXPECT_EQ(s.enableInterruptPointReserve, 1);
  EXPECT_EQ(s.tlsServerPort, 8443);
  EXPECT_EQ(s.tcpServerIp, "127.0.0.1");
  EXPECT_EQ(s.tcpServerPort, 9000);
}

TEST(BootloadSettings, LoadResultByContent) {
  struct Case {
    const char* name;
    std::string children;
    bool ok;
  };
  const Case cases[] = {
      {"only baud rates", "<A baudrateList=\"9600\"/>", true},
      {"only one vid_pid", "<A vid_pid=\"ABCD,1234\"/>", true},
      {"neither", "<A parity=\"N\" enableLog=\"1\"/>", false},
      {"vid_pid with one part", "<A baudrateList=\"9600\" vid_pid=\"ABCD\"/>", false},
      {"vid_pid with three parts", "<A vid_pid=\"ABCD,1234,5678\"/>", false},
      {"vid_pid with trailing comma", "<A vid_pid=\"ABCD,1234,\"/>", false},
      {"two-character parity", "<A baudrateList=\"9600\" parity=\"NN\"/>", false},
      {"two-character databit", "<A baudrateList=\"9600\" databit=\"88\"/>", false},
      {"two-character stopbit", "<A baudrateList=\"9600\" stopbit=\"10\"/>", false},
      {"enableLog 10", "<A baudrateList=\"9600\" enableLog=\"10\"/>", false},
      {"EnableInterruptPointReserve 11", "<A baudrateList=\"9600\" EnableInterruptPointReserve=\"11\"/>", false},
      {"empty one-character values", "<A baudrateList=\"9600\" parity=\"\" databit=\"\" stopbit=\"\"/>", true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoadXml(Settings(c.children)).ok, c.ok) << c.name;
  }
}

TEST(BootloadSettings, ValuesReadBeforeAFailureStay) {
  auto r = LoadXml(Settings("<A baudrateList=\"9600\"/><B parity=\"N\" vid_pid=\"1\"/><C databit=\"8\"/>"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.settings.baudRateList, std::vector<int32_t>{9600});
  EXPECT_EQ(r.settings.parity, "N");
  EXPECT_EQ(r.settings.dataBits, "");
}

TEST(BootloadSettings, IsOvgCountsOnlyDirectlyAfterVidPid) {
  auto r = LoadXml(Settings(
      "<A isOVG=\"1\" vid_pid=\"0001,0002\"/>"         // before: ignored
      "<B vid_pid=\"0003,0004\"/><C isOVG=\"1\"/>"     // another element: ignored
      "<D vid_pid=\"0005,0006\" isOVG=\"  -7x\"/>"     // blanks, sign, digits
      "<E vid_pid=\"0007,0008\" parity=\"N\" isOVG=\"1\"/>"));
  ASSERT_TRUE(r.ok);
  ASSERT_EQ(r.settings.vidPidList.size(), 4u);
  EXPECT_EQ(r.settings.vidPidList[0].isOVG, 0);
  EXPECT_EQ(r.settings.vidPidList[1].isOVG, 0);
  EXPECT_EQ(r.settings.vidPidList[2].isOVG, -7);
  EXPECT_EQ(r.settings.vidPidList[3].isOVG, 0);
}

TEST(BootloadSettings, VidPidHexConversion) {
  struct Case {
    const char* value;
    uint32_t vid, pid;
  };
  const Case cases[] = {
      {"ABCD,1234", 0xABCD, 0x1234},
      {"abcd,00ff", 0xABCD, 0x00FF},
      {"ABCDEF,12", 0xABCD, 0x1200},  // extra digits ignored; a missing byte counts as 0
      {"zz01,0G0G", 0x0001, 0x0000},  // non-digits count as 0
      {",", 0, 0},
  };
  for (const auto& c : cases) {
    auto r = LoadXml(Settings(std::string("<A vid_pid=\"") + c.value + "\"/>"));
    ASSERT_TRUE(r.ok) << c.value;
    EXPECT_EQ(r.settings.vidPidList.at(0).vid, c.vid) << c.value;
    EXPECT_EQ(r.settings.vidPidList.at(0).pid, c.pid) << c.value;
  }
}

TEST(BootloadSettings, SwitchValues) {
  struct Case {
    const char* value;
    int32_t expected;
  };
  for (const Case& c : {Case{"0", 0}, Case{"1", 1}, Case{"x", 1}, Case{"", 1}}) {
    auto r = LoadXml(Settings(std::string("<A baudrateList=\"1\" enableLog=\"") + c.value +
                              "\" EnableInterruptPointReserve=\"" + c.value + "\"/>"));
    ASSERT_TRUE(r.ok) << c.value;
    EXPECT_EQ(r.settings.enableLog, c.expected) << c.value;
    EXPECT_EQ(r.settings.enableInterruptPointReserve, c.expected) << c.value;
  }
}

TEST(BootloadSettings, BaudRateListKeepsEmptyPiecesAndAppends) {
  auto r = LoadXml(Settings("<A baudrateList=\"9600,,38400\"/><B baudrateList=\"115200\"/>"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.settings.baudRateList, (std::vector<int32_t>{9600, 0, 38400, 115200}));
}

TEST(BootloadSettings, LaterScalarWinsAndDefaults) {
  auto r = LoadXml(Settings("<A baudrateList=\"1\" parity=\"N\" TCP_Server_Port=\"1\"/><B parity=\"E\" "
                            "TCP_Server_Port=\"99999999999\"/>"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.settings.parity, "E");
  EXPECT_EQ(r.settings.tcpServerPort, INT32_MAX);  // saturates instead of overflowing
  EXPECT_EQ(r.settings.comPort, 1);
  EXPECT_EQ(r.settings.enableLog, 0);
}

TEST(BootloadSettings, KeysAreCaseSensitive) {
  auto r = LoadXml(Settings("<A vid_pid=\"0001,0002\" ISOVG=\"1\" Parity=\"E\" baudratelist=\"9600\"/>"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.settings.vidPidList.at(0).isOVG, 0);
  EXPECT_EQ(r.settings.parity, "");
  EXPECT_TRUE(r.settings.baudRateList.empty());
}

TEST(BootloadSettings, OnlyTheTopLevelSettingNodeCounts) {
  EXPECT_FALSE(LoadXml("<ROOT><BOOTLOAD_SETTING><A baudrateList=\"9600\"/></BOOTLOAD_SETTING></ROOT>").ok);
  EXPECT_FALSE(LoadXml("<OTHER><A baudrateList=\"9600\"/></OTHER>").ok);
  // The first one of that name is read; a second is not.
  auto r = LoadXml("<BOOTLOAD_SETTING><A parity=\"N\"/></BOOTLOAD_SETTING>"
                   "<BOOTLOAD_SETTING><A baudrateList=\"9600\"/></BOOTLOAD_SETTING>");
  EXPECT_FALSE(r.ok);
  // Comments and text between elements are skipped.
  EXPECT_TRUE(LoadXml(Settings("<!-- serial --> text <A baudrateList=\"9600\"/>")).ok);
}

TEST(BootloadSettings, UnreadableFileSaysMissingOnStandardError) {
  TempDir dir;
  std::string path = dir.File("BootloadConfiguration.xml");
  BootloadSettings settings;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadBootloadSettingsFromPath(settings, path));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), path + " is missing\n");

  dir.Write("BootloadConfiguration.xml", "<BOOTLOAD_SETTING><A baudrateList=\"1\"></BOOTLOAD_SETTING>");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadBootloadSettingsFromPath(settings, path));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), path + " is missing\n");
}

TEST(BootloadSettings, HostileInputIsHandled) {
  // 100,000 attributes, the known ones among them, spread over 1,000 elements
  // (the XML parser's duplicate check is quadratic within one element).
  std::string many;
  for (int e = 0; e < 1000; ++e) {
    many += "<E" + std::to_string(e) + " baudrateList=\"" + std::to_string(e) + "\"";
    for (int i = 1; i < 100; ++i) many += " k" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
    many += "/>\n";
  }
  auto big = LoadXml(Settings(many));
  EXPECT_TRUE(big.ok);
  EXPECT_EQ(big.settings.baudRateList.size(), 1000u);

  // A 10 MB value: one huge baud-rate list of commas, and a huge vid_pid.
  std::string commas(10 * 1024 * 1024, ',');
  auto r = LoadXml(Settings("<A baudrateList=\"" + commas + "\"/>"));
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.settings.baudRateList.size(), commas.size() + 1);
  EXPECT_FALSE(LoadXml(Settings("<A vid_pid=\"" + std::string(10 * 1024 * 1024, 'A') + "\"/>")).ok);

  // Binary garbage.
  std::string garbage;
  for (int i = 0; i < 65536; ++i) garbage.push_back(static_cast<char>((i * 7919) & 0xFF));
  testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadXml(garbage).ok);
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace orvane
