#include "app/bootload_settings.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "support/temp_dir.h"

namespace orvane {
namespace {

using test::TempDir;

std::string Settings(const std::string& children) {
  return "<?xml version=\"1.0\"?>\n<BOOTLOAD_SETTING>\n" + children + "</BOOTLOAD_SETTING>\n";
}

// What a file with `xml` loads to, in one line: "ok" or "failed", then every
// identity (vid:pid:isOVG), the baud rates and the scalars.
std::string Loaded(const std::string& xml) {
  TempDir dir;
  BootloadSettings s;
  std::string out = LoadBootloadSettingsFromPath(s, dir.Write("BootloadConfiguration.xml", xml)) ? "ok" : "failed";
  for (const VidPidEntry& e : s.vidPidList) {
    char one[32];
    std::snprintf(one, sizeof one, " %04X:%04X:%d", e.vid, e.pid, e.isOVG);
    out += one;
  }
  out += " baud";
  for (int32_t rate : s.baudRateList) out += " " + std::to_string(rate);
  return out + " p=" + s.parity + " d=" + s.dataBits + " s=" + s.stopBits + " log=" + std::to_string(s.enableLog) +
         " resume=" + std::to_string(s.enableInterruptPointReserve) + " tcp=" + std::to_string(s.tcpServerPort);
}

TEST(BootloadSettings, WhatEachFileLoadsTo) {
  struct Case {
    const char* name;
    std::string xml;
    std::string loaded;  // its start
  };
  const Case cases[] = {
      {"only baud rates", Settings("<A baudrateList=\"9600\"/>"), "ok baud 9600"},
      {"only one vid_pid", Settings("<A vid_pid=\"ABCD,1234\"/>"), "ok ABCD:1234:0 baud"},
      {"neither", Settings("<A parity=\"N\" enableLog=\"1\"/>"), "failed"},
      {"vid_pid with one part", Settings("<A baudrateList=\"9600\" vid_pid=\"ABCD\"/>"), "failed"},
      {"vid_pid with three parts", Settings("<A vid_pid=\"ABCD,1234,5678\"/>"), "failed"},
      {"vid_pid with trailing comma", Settings("<A vid_pid=\"ABCD,1234,\"/>"), "failed"},
      {"two-character parity", Settings("<A baudrateList=\"9600\" parity=\"NN\"/>"), "failed"},
      {"two-character databit", Settings("<A baudrateList=\"9600\" databit=\"88\"/>"), "failed"},
      {"two-character stopbit", Settings("<A baudrateList=\"9600\" stopbit=\"10\"/>"), "failed"},
      {"enableLog 10", Settings("<A baudrateList=\"9600\" enableLog=\"10\"/>"), "failed"},
      {"EnableInterruptPointReserve 11", Settings("<A baudrateList=\"9600\" EnableInterruptPointReserve=\"11\"/>"),
       "failed"},
      {"empty one-character values", Settings("<A baudrateList=\"9600\" parity=\"\" databit=\"\" stopbit=\"\"/>"),
       "ok"},
      {"setting node not at the top", "<ROOT><BOOTLOAD_SETTING><A baudrateList=\"9600\"/></BOOTLOAD_SETTING></ROOT>",
       "failed"},
      {"other top node", "<OTHER><A baudrateList=\"9600\"/></OTHER>", "failed"},
      {"only the first setting node is read",
       "<BOOTLOAD_SETTING><A parity=\"N\"/></BOOTLOAD_SETTING>"
       "<BOOTLOAD_SETTING><A baudrateList=\"9600\"/></BOOTLOAD_SETTING>",
       "failed"},
      {"comments and text skipped", Settings("<!-- serial --> text <A baudrateList=\"9600\"/>"), "ok"},
      {"values read before a failure stay",
       Settings("<A baudrateList=\"9600\"/><B parity=\"N\" vid_pid=\"1\"/><C databit=\"8\"/>"),
       "failed baud 9600 p=N d= s= log=0 resume=0 tcp=0"},
      // isOVG counts only directly after vid_pid, with blanks, sign and digits;
      // keys are case-sensitive; hex digits past four are ignored, a missing
      // byte or a non-digit counts as 0, and a lone last digit is dropped.
      {"identities",
       Settings("<A isOVG=\"1\" vid_pid=\"0001,0002\"/><B vid_pid=\"0003,0004\"/><C isOVG=\"1\"/>"
                "<D vid_pid=\"0005,0006\" isOVG=\"  -7x\"/><E vid_pid=\"0007,0008\" parity=\"N\" isOVG=\"1\"/>"
                "<F vid_pid=\"abcd,00ff\" ISOVG=\"1\"/><G vid_pid=\"ABCDEF,12\"/>"
                "<H vid_pid=\"zz01,0G 2\"/><I vid_pid=\",\"/><J vid_pid=\"ABC,F\"/>"),
       "ok 0001:0002:0 0003:0004:0 0005:0006:-7 0007:0008:0 ABCD:00FF:0 ABCD:1200:0 0001:0002:0 0000:0000:0 "
       "AB00:0000:0 baud"},
      // Empty pieces kept, lists appended, the later value wins, "Parity" is
      // not "parity", and a port saturates instead of overflowing.
      {"scalars and lists",
       Settings("<A baudrateList=\"9600,,38400\" parity=\"N\" TCP_Server_Port=\"1\"/>"
                "<B baudrateList=\"115200\" parity=\"E\" TCP_Server_Port=\"99999999999\"/>"
                "<C Parity=\"O\" baudratelist=\"1\"/>"),
       "ok baud 9600 0 38400 115200 p=E d= s= log=0 resume=0 tcp=2147483647"},
      {"switches 0", Settings("<A baudrateList=\"1\" enableLog=\"0\" EnableInterruptPointReserve=\"0\"/>"),
       "ok baud 1 p= d= s= log=0 resume=0 tcp=0"},
      {"switches x", Settings("<A baudrateList=\"1\" enableLog=\"x\" EnableInterruptPointReserve=\"1\"/>"),
       "ok baud 1 p= d= s= log=1 resume=1 tcp=0"},
      {"switches empty", Settings("<A baudrateList=\"1\" enableLog=\"\" EnableInterruptPointReserve=\"\"/>"),
       "ok baud 1 p= d= s= log=1 resume=1 tcp=0"},
  };
  for (const auto& c : cases) EXPECT_THAT(Loaded(c.xml), ::testing::StartsWith(c.loaded)) << c.name;
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

}  // namespace
}  // namespace orvane
