#include "app/bootload_settings.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::TempDir;

struct Loaded {
  bool ok = false;
  BootloadSettings settings;
};

Loaded LoadXml(const std::string& xml) {
  TempDir dir;
  Loaded result;
  result.ok = LoadBootloadSettingsFromPath(result.settings, dir.Write("BootloadConfiguration.xml", xml));
  return result;
}

std::string Settings(const std::string& children) {
  return "<?xml version=\"1.0\"?>\n<BOOTLOAD_SETTING>\n" + children + "</BOOTLOAD_SETTING>\n";
}

// "vid:pid:isOVG" of every identity, comma-separated.
std::string Ids(const BootloadSettings& s) {
  std::string out;
  for (const VidPidEntry& e : s.vidPidList) {
    char one[32];
    std::snprintf(one, sizeof one, "%s%04X:%04X:%d", out.empty() ? "" : ",", e.vid, e.pid, e.isOVG);
    out += one;
  }
  return out;
}

TEST(BootloadSettings, LoadResultByContent) {
  struct Case {
    const char* name;
    std::string xml;
    bool ok;
  };
  const Case cases[] = {
      {"only baud rates", Settings("<A baudrateList=\"9600\"/>"), true},
      {"only one vid_pid", Settings("<A vid_pid=\"ABCD,1234\"/>"), true},
      {"neither", Settings("<A parity=\"N\" enableLog=\"1\"/>"), false},
      {"vid_pid with one part", Settings("<A baudrateList=\"9600\" vid_pid=\"ABCD\"/>"), false},
      {"vid_pid with three parts", Settings("<A vid_pid=\"ABCD,1234,5678\"/>"), false},
      {"vid_pid with trailing comma", Settings("<A vid_pid=\"ABCD,1234,\"/>"), false},
      {"two-character parity", Settings("<A baudrateList=\"9600\" parity=\"NN\"/>"), false},
      {"two-character databit", Settings("<A baudrateList=\"9600\" databit=\"88\"/>"), false},
      {"two-character stopbit", Settings("<A baudrateList=\"9600\" stopbit=\"10\"/>"), false},
      {"enableLog 10", Settings("<A baudrateList=\"9600\" enableLog=\"10\"/>"), false},
      {"EnableInterruptPointReserve 11", Settings("<A baudrateList=\"9600\" EnableInterruptPointReserve=\"11\"/>"),
       false},
      {"empty one-character values", Settings("<A baudrateList=\"9600\" parity=\"\" databit=\"\" stopbit=\"\"/>"),
       true},
      {"setting node not at the top", "<ROOT><BOOTLOAD_SETTING><A baudrateList=\"9600\"/></BOOTLOAD_SETTING></ROOT>",
       false},
      {"other top node", "<OTHER><A baudrateList=\"9600\"/></OTHER>", false},
      {"only the first setting node is read", "<BOOTLOAD_SETTING><A parity=\"N\"/></BOOTLOAD_SETTING>"
       "<BOOTLOAD_SETTING><A baudrateList=\"9600\"/></BOOTLOAD_SETTING>", false},
      {"comments and text skipped", Settings("<!-- serial --> text <A baudrateList=\"9600\"/>"), true},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(LoadXml(c.xml).ok, c.ok) << c.name;
  }
}

TEST(BootloadSettings, ValuesReadBeforeAFailureStay) {
  auto r = LoadXml(Settings("<A baudrateList=\"9600\"/><B parity=\"N\" vid_pid=\"1\"/><C databit=\"8\"/>"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.settings.baudRateList, std::vector<int32_t>{9600});
  EXPECT_EQ(r.settings.parity, "N");
  EXPECT_EQ(r.settings.dataBits, "");
}

TEST(BootloadSettings, IdentitiesHexAndIsOvgDirectlyAfterVidPid) {
  auto r = LoadXml(Settings(
      "<A isOVG=\"1\" vid_pid=\"0001,0002\"/>"         // before: ignored
      "<B vid_pid=\"0003,0004\"/><C isOVG=\"1\"/>"     // another element: ignored
      "<D vid_pid=\"0005,0006\" isOVG=\"  -7x\"/>"     // blanks, sign, digits
      "<E vid_pid=\"0007,0008\" parity=\"N\" isOVG=\"1\"/>"
      "<F vid_pid=\"abcd,00ff\" ISOVG=\"1\"/>"         // keys are case-sensitive
      "<G vid_pid=\"ABCDEF,12\"/>"                     // extra digits ignored; a missing byte counts as 0
      "<H vid_pid=\"zz01,0G 2\"/><I vid_pid=\",\"/>"   // non-digits count as 0
      "<J vid_pid=\"ABC,F\"/>"));                    // a lone last digit is dropped
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(Ids(r.settings),
            "0001:0002:0,0003:0004:0,0005:0006:-7,0007:0008:0,ABCD:00FF:0,ABCD:1200:0,0001:0002:0,0000:0000:0,"
            "AB00:0000:0");
}

TEST(BootloadSettings, ScalarsListsAndSwitches) {
  auto r = LoadXml(Settings("<A baudrateList=\"9600,,38400\" parity=\"N\" TCP_Server_Port=\"1\"/>"
                            "<B baudrateList=\"115200\" parity=\"E\" TCP_Server_Port=\"99999999999\"/>"
                            "<C Parity=\"O\" baudratelist=\"1\"/>"));
  ASSERT_TRUE(r.ok);
  EXPECT_EQ(r.settings.baudRateList, (std::vector<int32_t>{9600, 0, 38400, 115200}));  // empty pieces kept, appended
  EXPECT_EQ(r.settings.parity, "E");  // the later value wins; "Parity" is not "parity"
  EXPECT_EQ(r.settings.tcpServerPort, INT32_MAX);  // saturates instead of overflowing
  EXPECT_EQ(r.settings.comPort, 1);
  EXPECT_EQ(r.settings.enableLog, 0);

  for (auto [value, expected] : {std::pair{"0", 0}, {"1", 1}, {"x", 1}, {"", 1}}) {
    auto s = LoadXml(Settings(std::string("<A baudrateList=\"1\" enableLog=\"") + value +
                              "\" EnableInterruptPointReserve=\"" + value + "\"/>"));
    ASSERT_TRUE(s.ok) << value;
    EXPECT_EQ(s.settings.enableLog, expected) << value;
    EXPECT_EQ(s.settings.enableInterruptPointReserve, expected) << value;
  }
}

TEST(BootloadSettings, UnreadableFileSaysMissingOnStandardError) {
  TempDir dir;
  const std::string path = dir.File("BootloadConfiguration.xml");
  for (const char* content : {"", "<BOOTLOAD_SETTING><A baudrateList=\"1\"></BOOTLOAD_SETTING>"}) {
    if (*content) dir.Write("BootloadConfiguration.xml", content);  // else there is no file
    BootloadSettings settings;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadBootloadSettingsFromPath(settings, path));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), path + " is missing\n");
  }
}

TEST(BootloadSettings, HostileInputIsHandled) {
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
