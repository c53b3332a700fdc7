#include "reader-sim/sim_command_line.h"

#include <charconv>

namespace orvane::sim {
namespace {

bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty()) return false;
  int base = 10;
  const char* begin = text.data();
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    begin += 2;
  }
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(begin, end, value, base);
  return ec == std::errc() && ptr == end && value <= max;
}

// K[:CODE][:always] for the block faults; `withCode` says whether CODE is expected.
bool ParseFault(const std::string& text, FaultKind kind, bool withCode, BlockFault& fault) {
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t colon = text.find(':', start);
    parts.push_back(text.substr(start, colon - start));
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  fault = {};
  fault.kind = kind;
  uint64_t value = 0;
  if (parts.empty() || !ParseNumber(parts[0], UINT32_MAX, value) || value == 0) return false;
  fault.block = static_cast<uint32_t>(value);
  size_t next = 1;
  if (withCode) {
    if (parts.size() < 2 || !ParseNumber(parts[1], 0xFFFF, value)) return false;
    fault.code = static_cast<uint16_t>(value);
    next = 2;
  }
  if (parts.size() == next + 1 && parts[next] == "always") {
    fault.always = true;
  } else if (parts.size() != next) {
    return false;
  }
  return true;
}

}  // namespace

std::string SimUsage() {
  return R"(Usage: orvane-reader-sim LINK [OPTIONS]

Plays one card reader (or --count N of them) until SIGINT or SIGTERM. The
first line on standard output tells where it can be reached:
  READY tcp port=PORT
  READY tls host=HOST port=PORT
  READY pty path=PATH [link=PATH]
With --count, one such line per reader, in reader order, each ending in
" reader=I" (I from 1); all readers are up once the N lines are out.

Links (exactly one):
  --tcp-listen PORT       TCP server on 127.0.0.1 (0 picks a free port)
  --bind ADDRESS          address for --tcp-listen (default 127.0.0.1)
  --tls-connect HOST:PORT connect to the tool's TLS server, retrying until it answers
  --tls-ca FILE           verify the TLS server against FILE (default: no verification)
  --pty                   serial line on a pseudo-terminal
  --link PATH             with --pty: make PATH a symbolic link to the terminal
  --baud N                with --pty: carry bytes as slowly as a line of N bits per
                          second, 10 bits per byte (default: as fast as the terminal)
  --count N               serve N independent readers (1 to 64): --tcp-listen PORT and
                          --tls-connect HOST:PORT use ports PORT to PORT+N-1 (port 0:
                          N free ports), --pty opens N terminals and --link PATH makes
                          the links PATH-1 to PATH-N

Reader:
  --mode app|boot         running application (default) or bootloader
  --framing header|stx    framing on the serial line (default header; network is always header)
  --version TEXT          application version text (default "Orvane Taviron2 APP V2.00.020")
  --boot-version TEXT     version shown in the bootloader answer (default "V1.05")
  --pci | --non-pci       bootloader type character '2' or '3' (default PCI)
  --type-char C           any type character
  --stop-package N        data blocks of an interrupted load (non-PCI)
  --access-code CODE      five letters the bootloader entry needs (default ORVBL)
  --reboot-delay MS       time the link stays down after a reboot (default 2500)
  --after-load stay|app   after a complete module load: stay in the bootloader (default)
                          or reboot into the application
  --finish-busy MS        UniApp finish answers busy and the result MS later (default 1000, 0: at once)

Faults (K is the 1-based position of a block command in its load, as the
tool counts; add :always to repeat the fault every time K arrives):
  --fail-block K:CODE[:always]   refuse block K: header status CODE or STX NAK CODE
  --silent-block K[:always]      do not answer block K
  --drop-block K[:always]        drop the link at block K (comes back after the reboot delay)
  --garble-block K[:always]      garble the answer to block K
  --garble-answer N              garble the N-th answer sent
  --answer-delay MS              wait MS before every answer

One reader (with --count):
  --only I OPTION [VALUE]        give a reader option or fault to reader I alone
                                 (from 1), on top of those all readers share; e.g.
                                 --only 2 --drop-block 6 --only 3 --version "APP V3"

Other:
  --trace                 print every frame received (RX) and sent (TX) on standard error
                          (with --count, each line starts with "[I] ")
  --time-scale N          run program time N times faster (pauses and delays shrink)
  --help                  this text
)";
}

namespace {

// Walks the arguments; each option takes its values through here so that a
// missing or malformed value is reported the same way everywhere.
struct ArgCursor {
  const std::vector<std::string>& args;
  size_t i = 0;
  std::string& error;

  const std::string& Arg() const { return args[i]; }
  bool Value(std::string& v) {
    if (i + 1 >= args.size()) {
      error = Arg() + " needs a value";
      return false;
    }
    v = args[++i];
    return true;
  }
  bool Number(uint64_t max, uint64_t& n) {
    const std::string& option = Arg();
    std::string v;
    if (!Value(v)) return false;
    if (!ParseNumber(v, max, n)) {
      error = "bad number for " + option + ": " + v;
      return false;
    }
    return true;
  }
};

enum class OptionResult { NotMine, Ok, Bad };

// The options that describe one reader (its answers and its faults); these
// are the ones --only may give to a single reader.
OptionResult ParseReaderOption(ArgCursor& c, ReaderOptions& r) {
  const std::string arg = c.Arg();
  std::string& error = c.error;
  auto fault = [&](FaultKind kind, bool withCode) {
    std::string v;
    if (!c.Value(v)) return false;
    BlockFault f;
    if (!ParseFault(v, kind, withCode, f)) {
      error = "bad fault for " + arg + ": " + v;
      return false;
    }
    r.blockFaults.push_back(f);
    return true;
  };
  uint64_t n = 0;
  std::string v;
  bool ok = true;
  if (arg == "--baud") {
    ok = c.Number(4'000'000, n);
    r.lineBaud = static_cast<uint32_t>(n);
  } else if (arg == "--mode") {
    ok = c.Value(v);
    if (ok && v == "app") {
      r.mode = ReaderMode::Application;
    } else if (ok && v == "boot") {
      r.mode = ReaderMode::Bootloader;
    } else if (ok) {
      error = "--mode is app or boot";
      ok = false;
    }
  } else if (arg == "--framing") {
    ok = c.Value(v);
    if (ok && v == "header") {
      r.framing = FrameProtocol::Header;
    } else if (ok && v == "stx") {
      r.framing = FrameProtocol::Stx;
    } else if (ok) {
      error = "--framing is header or stx";
      ok = false;
    }
  } else if (arg == "--version") {
    ok = c.Value(r.applicationVersion);
  } else if (arg == "--boot-version") {
    ok = c.Value(r.bootloaderVersion);
  } else if (arg == "--pci") {
    r.typeChar = '2';
  } else if (arg == "--non-pci") {
    r.typeChar = '3';
  } else if (arg == "--type-char") {
    ok = c.Value(v);
    if (ok && v.size() != 1) {
      error = "--type-char takes one character";
      ok = false;
    }
    if (ok) r.typeChar = v[0];
  } else if (arg == "--stop-package") {
    ok = c.Number(UINT32_MAX, n);
    r.stopPackage = static_cast<uint32_t>(n);
  } else if (arg == "--access-code") {
    ok = c.Value(r.accessCode);
    if (ok && r.accessCode.size() != 5) {
      error = "--access-code takes five letters";
      ok = false;
    }
  } else if (arg == "--reboot-delay") {
    ok = c.Number(UINT32_MAX, n);
    r.rebootDelayMs = static_cast<uint32_t>(n);
  } else if (arg == "--after-load") {
    ok = c.Value(v);
    if (ok && v == "stay") {
      r.afterLoad = AfterLoad::StayInBootloader;
    } else if (ok && v == "app") {
      r.afterLoad = AfterLoad::RebootToApplication;
    } else if (ok) {
      error = "--after-load is stay or app";
      ok = false;
    }
  } else if (arg == "--finish-busy") {
    ok = c.Number(UINT32_MAX, n);
    r.finishBusyMs = static_cast<uint32_t>(n);
  } else if (arg == "--answer-delay") {
    ok = c.Number(UINT32_MAX, n);
    r.answerDelayMs = static_cast<uint32_t>(n);
  } else if (arg == "--garble-answer") {
    ok = c.Number(UINT32_MAX, n);
    r.garbleAnswerNo = static_cast<uint32_t>(n);
  } else if (arg == "--fail-block") {
    ok = fault(FaultKind::Refuse, true);
  } else if (arg == "--silent-block") {
    ok = fault(FaultKind::Silent, false);
  } else if (arg == "--drop-block") {
    ok = fault(FaultKind::DropLink, false);
  } else if (arg == "--garble-block") {
    ok = fault(FaultKind::Garble, false);
  } else {
    return OptionResult::NotMine;
  }
  return ok ? OptionResult::Ok : OptionResult::Bad;
}

// Most readers one program serves; each costs a thread and a descriptor or two.
constexpr uint64_t kMaxReaders = 64;

}  // namespace

bool ParseSimCommandLine(const std::vector<std::string>& args, SimCommandLine& out, std::string& error) {
  out = {};
  int links = 0;
  // --only I OPTION [VALUE]: the arguments each reader gets on top of the shared ones.
  std::vector<std::pair<uint32_t, std::vector<std::string>>> onlyFor;
  ArgCursor c{args, 0, error};
  for (; c.i < args.size(); ++c.i) {
    const std::string& arg = c.Arg();
    OptionResult reader = ParseReaderOption(c, out.reader);
    if (reader == OptionResult::Bad) return false;
    if (reader == OptionResult::Ok) continue;
    uint64_t n = 0;
    std::string v;
    bool ok = true;
    if (arg == "--help" || arg == "-h") {
      out.help = true;
    } else if (arg == "--tcp-listen") {
      ok = c.Number(0xFFFF, n);
      out.port = static_cast<uint16_t>(n);
      out.link = SimCommandLine::Link::TcpListen;
      ++links;
    } else if (arg == "--tls-connect") {
      ok = c.Value(v);
      size_t colon = v.rfind(':');
      if (ok && (colon == std::string::npos || colon == 0 || !ParseNumber(v.substr(colon + 1), 0xFFFF, n) || n == 0)) {
        error = "--tls-connect needs HOST:PORT";
        ok = false;
      }
      if (ok) {
        out.host = v.substr(0, colon);
        out.port = static_cast<uint16_t>(n);
      }
      out.link = SimCommandLine::Link::TlsConnect;
      ++links;
    } else if (arg == "--pty") {
      out.link = SimCommandLine::Link::Pty;
      ++links;
    } else if (arg == "--link") {
      ok = c.Value(out.linkPath);
    } else if (arg == "--bind") {
      ok = c.Value(out.bindAddress);
    } else if (arg == "--tls-ca") {
      ok = c.Value(out.caFile);
    } else if (arg == "--count") {
      ok = c.Number(UINT32_MAX, n);
      if (ok && (n == 0 || n > kMaxReaders)) {
        error = "--count is 1 to " + std::to_string(kMaxReaders);
        ok = false;
      }
      out.count = static_cast<uint32_t>(n);
      out.numbered = true;
    } else if (arg == "--only") {
      ok = c.Number(kMaxReaders, n);
      if (ok && n == 0) {
        error = "--only counts readers from 1";
        ok = false;
      }
      if (ok && c.i + 1 >= args.size()) {
        error = "--only " + std::to_string(n) + " needs a reader option";
        ok = false;
      }
      if (ok) {
        // Parsed once here to check it and to learn how many arguments it takes.
        size_t first = ++c.i;
        ReaderOptions scratch;
        OptionResult given = ParseReaderOption(c, scratch);
        if (given == OptionResult::NotMine) error = "--only takes a reader option, not " + args[first];
        ok = given == OptionResult::Ok;
        if (ok)
          onlyFor.emplace_back(static_cast<uint32_t>(n),
                               std::vector<std::string>(args.begin() + first, args.begin() + c.i + 1));
      }
    } else if (arg == "--trace") {
      out.trace = true;
    } else if (arg == "--time-scale") {
      ok = c.Number(1000000, n);
      if (ok && n == 0) {
        error = "--time-scale must be at least 1";
        ok = false;
      }
      out.timeScale = static_cast<uint32_t>(n);
    } else {
      error = "unknown option: " + arg;
      ok = false;
    }
    if (!ok) return false;
  }
  if (out.help) return true;
  if (links != 1) {
    error = links == 0 ? "choose a link: --tcp-listen, --tls-connect or --pty" : "choose only one link";
    return false;
  }
  if (!out.linkPath.empty() && out.link != SimCommandLine::Link::Pty) {
    error = "--link goes with --pty";
    return false;
  }
  if (out.port != 0 && out.port + uint64_t{out.count} - 1 > 0xFFFF) {
    error = "--count " + std::to_string(out.count) + " readers from port " + std::to_string(out.port) +
            " go past port 65535";
    return false;
  }
  out.readers.assign(out.count, out.reader);
  for (const auto& [index, option] : onlyFor) {
    if (index > out.count) {
      error = "--only " + std::to_string(index) + ": there are only " + std::to_string(out.count) + " readers";
      return false;
    }
    ArgCursor replay{option, 0, error};
    ParseReaderOption(replay, out.readers[index - 1]);
  }
  for (const ReaderOptions& r : out.readers) {
    if (r.lineBaud != 0 && out.link != SimCommandLine::Link::Pty) {
      error = "--baud goes with --pty";
      return false;
    }
  }
  return true;
}

}  // namespace orvane::sim
