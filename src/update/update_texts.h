#pragma once
// The texts that the update engine shows and writes: status line, row marks,
// message boxes, device information and the lines of the run text.

namespace orvane::texts {

// ---- status line ----
inline constexpr const char kDeviceReady[] = "Device Ready";
inline constexpr const char kDeviceNotReady[] = "Device Not Ready";
inline constexpr const char kWaitTcpServer[] = "Wait Connect TCP Server...";
inline constexpr const char kWaitTlsClient[] = "Wait TLS client connect...";
inline constexpr const char kDetectingDevice[] = "Detecting Device...";
inline constexpr const char kFailedToFindDevice[] = "Failed to find the device";
inline constexpr const char kToEnterBootload[] = "To Enter Bootload Mode";
inline constexpr const char kBootloadEnterFailed[] = "Bootload Enter Failed";
inline constexpr const char kBootloadEnterOkay[] = "Bootload Enter okay";
inline constexpr const char kDeviceRebooting[] = "Device is Rebooting";
inline constexpr const char kDeviceRebootFailed[] = "Device Reboot Failed";
inline constexpr const char kNotInBootloadMode[] = "Device Not in Bootload mode";
inline constexpr const char kAppFileTypeError[] = "APP File type Error";
inline constexpr const char kPciNotMatch[] = "PCI not match";
inline constexpr const char kStopPointError[] = "Stop Point Error";
inline constexpr const char kFirmwareUpdating[] = "Firmware Updating...";
inline constexpr const char kFirmwareUpdateFailed[] = "Firmware Update Failed";
inline constexpr const char kFirmwareUpdateSucceeded[] = "Firmware Update Succeeded";
inline constexpr const char kKernelUpdating[] = "Kernel Updating...";
inline constexpr const char kUniAppUpdating[] = "UniApp Updating...";
inline constexpr const char kReconnectFailed[] = "Reconnect Failed";
inline constexpr const char kKernelUpdateFailed[] = "Kernel Update Failed";
inline constexpr const char kUpdateFailed[] = "Update Failed";
inline constexpr const char kUpdateSucceeded[] = "Update Succeeded";

// ---- row marks (column "Status") ----
inline constexpr const char kRowCompleted[] = "Completed";
inline constexpr const char kRowFailed[] = "Failed";
inline constexpr const char kRowSuspended[] = "Suspended";
inline constexpr const char kRowNotReplug[] = "Not Replug";
inline constexpr const char kRowConnectionFailed[] = "Connection Failed";

// ---- message boxes ----
inline constexpr const char kSelectFileMessage[] = "Please select the file to update.";
inline constexpr const char kFailedMessage[] = "Failed!";
inline constexpr const char kEnterBootloadCaption[] = "Enter the bootload mode";
inline constexpr const char kCannotConnectCaption[] = "Can't connect reader!";

// ---- device information ----
inline constexpr const char kBootloaderModePrefix[] = "Bootloader Mode, ";
inline constexpr const char kApplicationModePrefix[] = "Application Mode, ";
inline constexpr const char kVersionInfoFormat[] = "Version Info: %s ";
inline constexpr const char kTypePci[] = "\r\nType: PCI. ";
inline constexpr const char kTypeNonPci[] = "\r\nType: NONPCI. ";
inline constexpr const char kStopPackageFormat[] = "Continue Loading From Stop Package:\t %d";
inline constexpr const char kDeviceNotConnected[] = "Device Not be Connected";

// ---- confirmation text ----
inline constexpr const char kBootloaderListHead[] = "Bootloader file list:\r\n";
inline constexpr const char kAppListHead[] = "App file list:\r\n";
inline constexpr const char kKernelListHead[] = "Kernel file list:\r\n";
inline constexpr const char kUniAppListHead[] = "\r\nUni-App file list:\r\n";
inline constexpr const char kNoneLine[] = "\tNone\r\n";
inline constexpr const char kNoneLast[] = "\tNone";

// ---- run text ----
inline constexpr const char kRunReaderLost[] = "Failed to find the device,Bootload failed.\r\n";
inline constexpr const char kRunExitPassThroughFail[] = "Exit Pass-Through mode fail.\r\n";
inline constexpr const char kRunExitPassThroughSuccess[] = "Exit Pass-Through mode success.\r\n";
inline constexpr const char kRunNotInBootload[] = "The device is not in Bootload mode.\r\n";
inline constexpr const char kRunFileTypeError[] = "File type error!(Should be PCI or NONPCI).\r\n";
inline constexpr const char kRunPciNotMatch[] = "PCI not match!\r\n";
inline constexpr const char kRunStopPointError[] = "Stop Point is error!\r\n";
inline constexpr const char kRunBootloaderModuleFailed[] =
    "\r\nApplication Update Failed, current kernel suspended!\r\n";
inline constexpr const char kRunFirmwareFailed[] = "\r\nFirmware Update Failed!\r\n";
inline constexpr const char kRunTimeLastFormat[] = "[Time Last: %d seconds]";
inline constexpr const char kRunReconnectFailed[] = "Failed to find the device, please check the device.\r\n";
inline constexpr const char kRunKernelFailed[] = "\r\nKernel Update Failed!\r\n";

// ---- notices ----
inline constexpr const char kLogFallbackFormat[] =
    "The program folder is not writable; the session log is written to %s";
inline constexpr const char kLogLost[] =
    "The session log could not be written, neither in the program folder nor in the fallback folder.";
inline constexpr const char kLinkLostFormat[] =
    "The link to the reader was lost during the transfer. %s";

}  // namespace orvane::texts
