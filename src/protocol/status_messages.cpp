#include "protocol/status_messages.h"

#include <algorithm>
#include <iterator>

namespace orvane {
namespace {

struct StatusRow {
  uint16_t code;
  std::string_view message;
};

// Both tables are sorted by code.
constexpr StatusRow kStxStatusTable[] = {
    {0x0400, "Related Key was not loaded"},
    {0x0500, "Key Same"},
    {0x0501, "Key is all zero"},
    {0x0502, "TR-31 format error"},
    {0x0702, "PAN is Error"},
    {0x0705, "No Internal MSR PAN (or Internal MSR PAN is erased timeout)"},
    {0x0F00, "Encryption Or Decryption Failed"},
    {0x1000, "Battery Low Warning (It is High Priority Response while Battery is Low.)"},
    {0x1800, "Response for Cancel (Get PIN, Get Numeric, Get FunKey) command"},
    {0x1900, "Response for Cancel Key Press in Get PIN / Numeric State"},
    {0x2C02, "No Microprocessor ICC seated"},
    {0x2C06, "No card seated to request ATR"},
    {0x3000, "Security Chip is deactivation & Device is In Removal Legally State"},
    {0x30FF, "Security Chip is not connect"},
    {0x3101, "Security Chip is activation & Device is In Removal Legally State"},
    {0x5500, "No Admin DUKPT Key"},
    {0x5501, "Admin DUKPT Key STOP"},
    {0x5504, "Validate Authentication Code Error"},
    {0x5505, "Encrypt Or Decrypt data failed"},
    {0x5506, "Not Support the New Key Type"},
    {0x5507, "New Key Index is Error"},
    {0x5508, "Step Error"},
    {0x5509, "Remote Key Injection Timeout (Latest Command is Timeout)"},
    {0x550A, "MAC Error"},
    {0x550B, "Key Usage Error"},
    {0x550C, "Mode Of Use Error"},
    {0x550F, "Other Error"},
    {0x6000, "Save or Config Failed / Or Read Config Error"},
    {0x6200, "No Serial Number"},
    {0x6900, "Invalid Command - Protocol is right, but task ID is invalid"},
    {0x6A00, "Unsupported Command - Protocol and task ID are right, but command is invalid"},
    {0x6A01, "Unsupported Command - Protocol and task ID are right, but command is invalid - In this State"},
    {0x6B00, "Unknown parameter in command - Protocol task ID and command are right, but parameter is invalid"},
    {0x6C00, "Unknown length in command - Protocol task ID and command are right, but length is out of the requirement."},
    {0x7200, "MKSK Suspend or press passwords Error Suspend"},
    {0x7300, "PIN/MSR/ICC/Admin DUKPT is STOP (21 bit 1)"},
    {0x7400, "Device is Busy (Check KeyLoading Sequence, or Implement Diagnosis.)"},
    {0x8100, "Timeout"},
    {0x8200, "Wrong operate step"},
    {0x8300, "No Card Data"},
    {0x8400, "Pemrux no Response"},
    {0x8500, "File operation is failed."},
    {0x8B10, "ICC error on power-up"},
    {0xE313, "IO line low -- Card error after session start"},
    {0xF002, "ICC communication timeout"},
    {0xF003, "ICC communication Error"},
    {0xF00F, "ICC Card Seated and Highest Priority, disable MSR work request"},
    {0xF200, "AID List / Application Data is not exist"},
    {0xF201, "Terminal Data is not exist"},
    {0xF202, "TLV format is error"},
    {0xF203, "AID List is full"},
    {0xF204, "Any CA Key is not exist"},
    {0xF205, "CA Key RID is not exist"},
    {0xF206, "CA Key Index it not exist"},
    {0xF207, "CA Key is full"},
    {0xF208, "CA Key Hash Value is Error"},
    {0xF209, "Transaction  format error"},
    {0xF20A, "The command will not be processing"},
    {0xF20B, "CRL is not exist"},
    {0xF20C, "CRL number  exceed max number"},
    {0xF20D, "Amount,Other Amount,Trasaction Type  are  missing"},
    {0xF20E, "The Identification of algorithm is mistake."},
    {0xF20F, "No Financial Card."},
    {0xF210, "In Encrypt Result state, TLV total Length is greater than Max Length."},
    {0xF211, "ICC L2 is not in idle state."},
};

constexpr StatusRow kHeaderStatusTable[] = {
    {0x0000, "ACK OK"},
    {0x0001, "Incorrect Header Tag"},
    {0x0002, "Unknown Command"},
    {0x0003, "Unknown Sub-Command"},
    {0x0004, "CRC Error in Frame"},
    {0x0005, "Incorrect Parameter"},
    {0x0006, "Parameter Not Supported"},
    {0x0007, "Mal-formatted Data"},
    {0x0008, "Timeout"},
    {0x000A, "Failed / NACK"},
    {0x000B, "Command not Allowed"},
    {0x000C, "Sub-Command not Allowed"},
    {0x000D, "Buffer Overflow (Data Length too large for reader buffer)"},
    {0x000E, "User Interface Event"},
    {0x0010, "Need clear firmware(apply in boot loader only)"},
    {0x0011, "Communication type not supported, QZ-1, burst, etc. Need encrypted firmware (apply in boot loader only)"},
    {0x0012, "Secure interface is not functional or is in an intermediate state."},
    {0x0013, "Data field is not mod 8"},
    {0x0014, "Pad 0x80 not found where expected"},
    {0x0015, "Specified key type is invalid"},
    {0x0016, "Could not retrieve key from the SAM (InitSecureComm)"},
    {0x0017, "Hash code problem"},
    {0x0018, "Could not store the key into the SAM (InstallKey)"},
    {0x0019, "Frame is too large"},
    {0x0049, "CA Public Key----Key already exists Certificate Revocation List----CRL record already exists"},
    {0x004B, "CA Public Key----Key not found Certificate Revocation List----CRL record not found"},
    {0x004F, "CA Public Key----No space to add new key Certificate Revocation List---- No space to add new CRL record"},
    {0x0060, "Contact configuration data is absent"},
    {0x0061, "Contact configuration data is full"},
    {0x0062, "Flash error when set Contact configuration"},
    {0x0063, "Contact command is OK"},
    {0x0090, "Data encryption Key does not exist"},
    {0x0091, "Data encryption Key KSN exhausted"},
    {0x0092, "Host MAC Key is absent"},
    {0x0093, "Host MAC Key is exhausted"},
    {0x0094, "MAC Verification is failed"},
    {0x2C02, "No Microprocessor ICC seated"},
    {0x2C06, "No card seated to request ATR"},
    {0x8B10, "ICC error on power-up"},
    {0xE313, "IO line low -- Card error after session start"},
    {0xF002, "ICC communication timeout"},
    {0xF003, "ICC communication Error"},
    {0xF00F, "ICC Card Seated and Highest Priority, disable MSR work request"},
    {0xF200, "AID List / Application Data is not exist"},
    {0xF201, "Terminal Data is not exist"},
    {0xF202, "TLV format is error"},
    {0xF203, "AID List is full"},
    {0xF204, "Any CA Key is not exist"},
    {0xF205, "CA Key RID is not exist"},
    {0xF206, "CA Key Index it not exist"},
    {0xF207, "CA Key is full"},
    {0xF208, "CA Key Hash Value is Error"},
    {0xF209, "Transaction  format error"},
    {0xF20A, "The command will not be processing"},
    {0xF20B, "CRL is not exist"},
    {0xF20C, "CRL number  exceed max number"},
    {0xF20D, "Amount,Other Amount,Trasaction Type  are  missing"},
    {0xF20E, "The Identification of algorithm is mistake."},
    {0xF20F, "No Financial Card."},
    {0xF210, "In Encrypt Result state, TLV total Length is greater than Max Length."},
    {0xF211, "ICC L2 is not in idle state."},
};

constexpr bool IsSorted(const StatusRow* rows, size_t count) {
  for (size_t i = 1; i < count; ++i)
    if (rows[i - 1].code >= rows[i].code) return false;
  return true;
}
static_assert(std::size(kStxStatusTable) == 65 && IsSorted(kStxStatusTable, std::size(kStxStatusTable)));
static_assert(std::size(kHeaderStatusTable) == 61 && IsSorted(kHeaderStatusTable, std::size(kHeaderStatusTable)));

template <size_t N>
std::string_view Lookup(const StatusRow (&table)[N], uint16_t code) {
  auto row = std::lower_bound(std::begin(table), std::end(table), code,
                              [](const StatusRow& r, uint16_t c) { return r.code < c; });
  return row != std::end(table) && row->code == code ? row->message : kUnknownStatusMessage;
}

}  // namespace

std::string_view StatusMessage(uint16_t code, FrameProtocol protocol) {
  return protocol == FrameProtocol::Header ? Lookup(kHeaderStatusTable, code) : Lookup(kStxStatusTable, code);
}

}  // namespace orvane
