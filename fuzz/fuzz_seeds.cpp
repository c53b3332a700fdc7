// Writes a small seed corpus for every fuzz target, built with the program's
// own frame and module builders and the simulated reader's answers:
//   orvane_fuzz_seeds <folder>   (one sub-folder per target)
// The inputs are laid out as FuzzedDataProvider reads them: bytes taken with
// ConsumeBytes from the front, integers from the back.

#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "firmware/module_writer.h"
#include "protocol/frames.h"
#include "reader-sim/reader_answers.h"
#include "reader-sim/simulated_reader.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace orvane;

// One input in the order the target consumes it.
class Seed {
 public:
  // ConsumeIntegralInRange(min, max) returning `value`.
  Seed& Int(uint64_t value, uint64_t min, uint64_t max) {
    const uint64_t range = max - min;
    size_t bytes = 0;
    while (bytes < 8 && (range >> (8 * bytes)) > 0) ++bytes;
    const uint64_t offset = value - min;
    for (size_t i = 0; i < bytes; ++i) tail_.push_back(static_cast<uint8_t>(offset >> (8 * (bytes - 1 - i))));
    return *this;
  }
  Seed& Bool(bool value) { return Int(value ? 1 : 0, 0, 255); }
  Seed& Int32(int32_t value) { return Int(static_cast<uint64_t>(int64_t{value} - INT32_MIN), 0, UINT32_MAX); }
  // ConsumeBytes(n) or ConsumeRemainingBytes.
  Seed& Bytes_(const Bytes& bytes) {
    front_.insert(front_.end(), bytes.begin(), bytes.end());
    return *this;
  }
  Bytes Finish() const {
    Bytes all = front_;
    all.insert(all.end(), tail_.rbegin(), tail_.rend());
    return all;
  }

 private:
  Bytes front_;
  Bytes tail_;
};

Bytes Text(const std::string& text) { return Bytes(text.begin(), text.end()); }

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

Bytes HeaderRequest(uint8_t command, uint8_t sub, const Bytes& data = {}) {
  Bytes frame(data.size() + 16);
  frame.resize(BuildHeaderFrameFor(frame, command, sub, data));
  return frame;
}

Bytes StxRequest(const Bytes& data) {
  Bytes frame(data.size() + kStxOverhead);
  std::copy(data.begin(), data.end(), frame.begin());
  frame.resize(BuildStxFrame(frame, data.size()));
  return frame;
}

Bytes EntryPayload() {
  Bytes payload{0x78, 0x46, 'O', 'R', 'V', 'B', 'L'};
  payload.resize(15, 0);
  return payload;
}

// The header-framed entry command: the 15-byte payload stands where command,
// sub-command, length and data would be.
Bytes EntryHeaderFrame() {
  Bytes frame = EntryPayload();
  frame.resize(frame.size() + kHeaderOverhead);
  frame.resize(BuildHeaderFrame(frame, 15));
  return frame;
}

Bytes BlockData(uint32_t address, size_t length) {
  Bytes data{static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address >> 16),
             static_cast<uint8_t>(address >> 24)};
  for (size_t i = 0; i < length; ++i) data.push_back(static_cast<uint8_t>(i * 7 + 1));
  return data;
}

// The reader's answer to one request.
Bytes AnswerOf(sim::ReaderOptions options, const Bytes& request) {
  sim::SimulatedReader reader(std::move(options));
  return reader.HandleRequest(request).answer;
}

sim::ReaderOptions Reader(sim::ReaderMode mode, FrameProtocol framing, char typeChar = '2', uint32_t stop = 0) {
  sim::ReaderOptions options;
  options.mode = mode;
  options.framing = framing;
  options.typeChar = typeChar;
  options.stopPackage = stop;
  return options;
}

std::vector<Bytes> VersionAnswers() {
  const Bytes headerQuery = HeaderRequest(0x29, 0x00);
  const Bytes stxQuery = StxRequest({0x78, 0x46, 0x01});
  std::vector<Bytes> answers;
  for (auto mode : {sim::ReaderMode::Application, sim::ReaderMode::Bootloader}) {
    answers.push_back(AnswerOf(Reader(mode, FrameProtocol::Header), headerQuery));
    answers.push_back(AnswerOf(Reader(mode, FrameProtocol::Stx), stxQuery));
  }
  answers.push_back(AnswerOf(Reader(sim::ReaderMode::Bootloader, FrameProtocol::Header, '3', 17), headerQuery));
  answers.push_back(AnswerOf(Reader(sim::ReaderMode::Bootloader, FrameProtocol::Stx, '5', 300), stxQuery));
  answers.push_back(sim::HeaderAnswerFrame(0xC7, 0x0A));
  answers.push_back(sim::StxNakFrame(0x6A00));
  answers.push_back(sim::StxAckFrame());
  answers.push_back(sim::KeyboardAnswerFrame(0x22, "Orvane TAVIRON2 V2.00.020"));
  // The short header form: the first letter missing.
  answers.push_back(Bytes(answers[0].begin() + 1, answers[0].end()));
  return answers;
}

std::vector<Bytes> Requests() {
  return {HeaderRequest(0x29, 0x00),
          HeaderRequest(0xC7, 0x41),
          HeaderRequest(0xC7, 0x43, BlockData(0, 32)),
          HeaderRequest(0xC7, 0x43, BlockData(0x10000, 256)),
          HeaderRequest(0xC7, 0x43, BlockData(0xFFFFFFFF, 4)),
          HeaderRequest(0xC7, 0x11, Bytes(12, 1)),
          HeaderRequest(0xC7, 0x14, Bytes(64, 2)),
          HeaderRequest(0xC7, 0x15),
          HeaderRequest(0xC7, 0x45, Bytes(5, 3)),
          HeaderRequest(0x63, 0x02, {1}),
          EntryHeaderFrame(),
          StxRequest({0x78, 0x46, 0x01}),
          StxRequest(EntryPayload()),
          StxRequest({0x25, 0x46, 0xB1, 0x01, 0x00, 0x10}),
          StxRequest(Concat({{0x42}, BlockData(0, 32)})),
          StxRequest(Concat({{0x42}, BlockData(0x10000, 64)}))};
}

std::vector<Bytes> Configurations() {
  const std::string full =
      "<?xml version=\"1.0\"?>\n<BOOTLOAD_SETTING>\n"
      " <Usb vid_pid=\"ABCD,1234\" isOVG=\"1\"/>\n <Usb vid_pid=\"0B00,3810\"/>\n"
      " <Serial com_port=\"1\" baudrateList=\"38400,,9600\" parity=\"N\" databit=\"8\" stopbit=\"1\"/>\n"
      " <Switches enableLog=\"1\" EnableInterruptPointReserve=\"0\"/>\n"
      " <Net TLS_Server_Port=\"8443\" TCP_Server_IP=\"127.0.0.1\" TCP_Server_Port=\"9000\"/>\n"
      "</BOOTLOAD_SETTING>\n";
  return {Text(full),
          Text("<BOOTLOAD_SETTING><a baudrateList=\"9600\"/></BOOTLOAD_SETTING>"),
          Text("<BOOTLOAD_SETTING><a isOVG=\"1\" vid_pid=\"AB,12,34\"/></BOOTLOAD_SETTING>"),
          Text("<!-- c --><other/><BOOTLOAD_SETTING><a enableLog=\"10\"/>text</BOOTLOAD_SETTING>"),
          Text("<BOOTLOAD_SETTING><a com_port=\"-2147483649\" TLS_Server_Port=\" +99999999999\"/></BOOTLOAD_SETTING>")};
}

std::vector<Bytes> ModuleImages() {
  std::vector<Bytes> images;
  ModuleSpec pci;
  pci.infoText = "V1.02";
  pci.blockSize = 64;
  pci.blockCount = 3;
  images.push_back(BuildModuleImage(pci));
  ModuleSpec nonPci = pci;
  nonPci.securityType = "NONPCI";
  nonPci.moduleType = kModuleTypeBootloader;
  nonPci.preambleLength = 0;
  images.push_back(BuildModuleImage(nonPci));
  ModuleSpec oddPreamble = pci;
  oddPreamble.preambleLength = 9;
  oddPreamble.infoText = std::string(80, 'x');
  images.push_back(BuildModuleImage(oddPreamble));
  ModuleSpec wrongCount = pci;
  wrongCount.blockCountField = 4;
  images.push_back(BuildModuleImage(wrongCount));
  ModuleSpec shortHeader = pci;
  shortHeader.truncateTo = 63;
  images.push_back(BuildModuleImage(shortHeader));
  ModuleSpec wrongType = pci;
  wrongType.securityType = "secure";
  images.push_back(BuildModuleImage(wrongType));
  return images;
}

Bytes CountedReport(std::initializer_list<uint8_t> head, const Bytes& data, size_t length) {
  Bytes report(head);
  report.insert(report.end(), data.begin(), data.end());
  report.resize(length, 0);
  return report;
}

int written = 0;

void Write(const std::filesystem::path& folder, const std::string& target, const std::vector<Bytes>& seeds) {
  const std::filesystem::path dir = folder / target;
  std::filesystem::create_directories(dir);
  for (size_t i = 0; i < seeds.size(); ++i) {
    std::ofstream out(dir / ("seed-" + std::to_string(i)), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
    if (!out) {
      std::fprintf(stderr, "cannot write a seed in %s\n", dir.c_str());
      std::exit(1);
    }
    ++written;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  const std::vector<Bytes> answers = VersionAnswers();
  const std::vector<Bytes> requests = Requests();

  Write(folder, "fuzz_configuration", Configurations());
  Write(folder, "fuzz_module_file", ModuleImages());
  Write(folder, "fuzz_raw_chunks", {BuildRawModule(1), BuildRawModule(1024), BuildRawModule(2500, 7)});

  std::vector<Bytes> header;
  for (const Bytes& answer : answers) {
    header.push_back(Seed().Int(1024, 0, 2048).Bytes_(answer).Finish());
    header.push_back(Seed().Int(5, 0, 2048).Bytes_(answer).Finish());
  }
  Write(folder, "fuzz_header_response", header);
  Write(folder, "fuzz_stx_response", answers);

  std::vector<Bytes> judged;
  for (const Bytes& answer : answers) {
    judged.push_back(Seed().Bool(true).Int32(17).Int(400, 0, 70000).Bytes_(answer).Finish());
  }
  judged.push_back(Seed().Bool(false).Int32(-1).Int(19, 0, 70000).Bytes_(Text("\x02\x52KB\x03\x11")).Finish());
  Write(folder, "fuzz_identification", judged);

  // A stream of answers with line noise between them, in a few segments.
  Bytes stream = Concat({Bytes{0x00, 0x4B}, answers[0], answers[2], Bytes(answers[0].begin() + 1, answers[0].end()),
                         Bytes{0xFF, 0x02}, answers[6]});
  const Bytes segments{5, 1, 16, 200, 3, 7};
  Write(folder, "fuzz_network_scanner",
        {Seed().Int(0, 0, 64).Bytes_(stream).Finish(),
         Seed().Int(segments.size(), 0, 64).Bytes_(segments).Bytes_(stream).Finish(),
         Seed().Int(1, 0, 64).Bytes_({0}).Bytes_(HeaderRequest(0x29, 0, Bytes(2100, 9))).Finish()});

  std::vector<Bytes> hid;
  for (size_t length : {size_t{65}, size_t{64}, size_t{9}}) {
    for (size_t message : {size_t{16}, size_t{126}, size_t{200}}) {
      for (bool counted : {true, false}) {
        hid.push_back(Seed().Bool(false).Int(length, 3, 130).Bool(counted).Int(1024, 1, 1100)
                          .Bytes_(Bytes(message, 0x5A)).Finish());
      }
    }
  }
  {
    Seed arbitrary;
    arbitrary.Bool(true).Int(65, 0, 200).Bool(true).Int(1024, 0, 1100).Int(3, 0, 40);
    arbitrary.Int(65, 0, 200).Bytes_(CountedReport({0, 0xBF}, Bytes(63, 1), 65));
    arbitrary.Int(65, 0, 200).Bytes_(CountedReport({0, 0xFF}, Bytes(63, 2), 65));
    arbitrary.Int(65, 0, 200).Bytes_(CountedReport({0, 0x05}, Bytes(5, 3), 65));
    arbitrary.Bool(false);
    hid.push_back(arbitrary.Finish());
    Seed sequenced;
    sequenced.Bool(true).Int(65, 0, 200).Bool(false).Int(1024, 0, 1100).Int(2, 0, 40);
    sequenced.Int(65, 0, 200).Bytes_(CountedReport({2}, answers[2], 65));
    sequenced.Int(65, 0, 200).Bytes_(CountedReport({4}, Bytes(10, 0), 65));
    sequenced.Bool(false);
    hid.push_back(sequenced.Finish());
  }
  Write(folder, "fuzz_hid_reports", hid);

  std::vector<Bytes> features;
  const Bytes query{0x02, 0x52, 0x22, 0x03, 0x71};
  const Bytes keyboardAnswer = answers[9];
  for (int operation = 0; operation < 3; ++operation) {
    Seed seed;
    seed.Int(65, 0, 130).Int(operation, 0, 2).Int(operation == 2 ? 1 : 0, 0, 4).Int(1024, 0, 1100);
    seed.Int(query.size(), 0, 300).Bytes_(query).Int(2, 0, 40);
    seed.Int(65, 0, 140).Bytes_(CountedReport({0}, keyboardAnswer, 65));
    seed.Int(65, 0, 140).Bytes_(CountedReport({0}, Bytes{0x06, 0x06, 0x06, 0x06}, 65));
    if (operation == 2) seed.Int(5, 0, 8);
    features.push_back(seed.Finish());
  }
  Write(folder, "fuzz_hid_features", features);

  std::vector<Bytes> sim;
  const Bytes allRequests = [&] {
    Bytes all{0, 0, 0};
    for (const Bytes& request : requests) all.insert(all.end(), request.begin(), request.end());
    return all;
  }();
  for (bool bootloader : {false, true}) {
    for (bool headerFraming : {false, true}) {
      Seed seed;
      seed.Bool(bootloader).Bool(headerFraming).Bool(false).Int('3', 0, 255).Int(2, 0, 300).Bool(false);
      seed.Bool(true).Int(3, 1, 8).Int(0, 0, 3).Bool(false).Int(0, 0, 4).Bool(false);
      seed.Int(4, 0, 32).Bytes_({1, 13, 40, 255}).Bytes_(allRequests);
      sim.push_back(seed.Finish());
    }
  }
  {
    Seed keyboard;
    keyboard.Bool(false).Bool(false).Bool(true).Int('2', 0, 255).Int(0, 0, 300).Bool(true).Bool(false);
    keyboard.Int(0, 0, 4).Bool(true).Int(0, 0, 32).Bytes_(CountedReport({}, query, 64));
    sim.push_back(keyboard.Finish());
  }
  Write(folder, "fuzz_sim_requests", sim);

  std::printf("%d seeds written under %s\n", written, folder.c_str());
  return 0;
}
