#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/interrupt.h"
#include "cli/json_writer.h"
#include "cli/reader_session.h"
#include "cli/terminal_text.h"

namespace orvane::cli {
namespace {

const char* ConnectionName(ConnectionKind kind) {
  switch (kind) {
    case ConnectionKind::None: return "none";
    case ConnectionKind::Serial: return "serial";
    case ConnectionKind::UsbHid: return "USB HID";
    case ConnectionKind::UsbHidKeyboard: return "USB keyboard interface";
    case ConnectionKind::TcpClient: return "TCP client";
    case ConnectionKind::TlsServer: return "TLS server";
  }
  return "";
}

// The program's own texts end lines with "\r\n"; here they are shown on one line.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    out += c == '\n' ? ' ' : c;
  }
  return Printable(out);
}

}  // namespace

int RunInfo(CliContext& context) {
  BootloadSettings settings;
  if (!LoadSettings(context, settings)) return kExitUsage;
  InstallInterruptHandler();

  ReaderSession session(context, settings);
  session.presenter().SetQuiet(true);  // one result at the end, not the detection's steps
  const ReaderSession::Found found = session.FindReader();
  if (found != ReaderSession::Found::Yes) {
    session.Stop();
    const bool timedOut = found == ReaderSession::Found::TimedOut;
    PrintError(context, timedOut ? "no reader found within the time-out" : "stopped before a reader was found");
    if (context.options.json) {
      JsonWriter json;
      json.BeginObject().Field("found", false).EndObject();
      std::fprintf(context.out, "%s\n", json.Text().c_str());
    }
    return timedOut ? kExitNoReader : kExitFailed;
  }

  UpdateEngine& engine = session.engine();
  engine.RefreshDeviceInfo();
  const DeviceInfo info = session.channel().deviceInfo();
  const ConnectionKind kind = session.channel().connectionKind();
  const std::string deviceText = engine.deviceInfoText();
  const bool model4710 = g_bModelVariant.load();
  session.Stop();

  if (context.options.json) {
    JsonWriter json;
    json.BeginObject().Field("found", true).Field("connection", ConnectionName(kind));
    json.Field("mode", info.bootloaderMode ? "bootloader" : "application").Field("versionText", info.versionText);
    json.Key("pci");
    if (info.bootloaderMode) json.Bool(info.pciType);
    else json.Null();
    json.Key("stopPackage");
    if (info.bootloaderMode) json.Int(info.stopPackage);
    else json.Null();
    json.Field("keyboardMode", info.keyboardMode).Field("passThrough", info.passThrough);
    json.Field("model4710", model4710).Field("deviceInfo", deviceText).EndObject();
    std::fprintf(context.out, "%s\n", json.Text().c_str());
    return kExitOk;
  }
  const char* notReported = "(reported in bootloader mode)";
  std::FILE* out = context.out;
  std::fprintf(out, "Connection:    %s\n", ConnectionName(kind));
  std::fprintf(out, "Mode:          %s\n", info.bootloaderMode ? "bootloader" : "application");
  std::fprintf(out, "Version text:  %s\n", Printable(info.versionText).c_str());
  std::fprintf(out, "Type:          %s\n", !info.bootloaderMode ? notReported : info.pciType ? "PCI" : "non-PCI");
  if (info.bootloaderMode) std::fprintf(out, "Stop package:  %d\n", info.stopPackage);
  else std::fprintf(out, "Stop package:  %s\n", notReported);
  if (info.keyboardMode) std::fprintf(out, "Keyboard interface: yes\n");
  if (model4710) std::fprintf(out, "Model:         4710 (use --q450 for a Q450 behind it)\n");
  std::fprintf(out, "Device:        %s\n", OneLine(deviceText).c_str());
  return kExitOk;
}

}  // namespace orvane::cli
