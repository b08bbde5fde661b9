#include "link/commands.h"

#include <cstring>

namespace {

constexpr uint8_t kRowLen = 0x11;  // letters, pin number, PinSet, ETX

bool IsOnlyOwnPin(const PinSet& bits, int pin) {
  for (int i = 0; i < kPinSetBytes; ++i) {
    const unsigned own = i == pin / 8 ? 1u << (pin % 8) : 0u;
    if (bits.bytes[i] != own) return false;
  }
  return true;
}

}  // namespace

uint8_t FrameChecksum(const uint8_t* frame, int size) {
  unsigned sum = 0;
  for (int i = 1; i < size - 1; ++i) sum += frame[i];
  return static_cast<uint8_t>(sum);
}

void BuildOneOnOneStart(uint8_t n, uint8_t (&out)[kOneOnOneStartBytes]) {
  out[0] = kStx;
  out[1] = 0x03;
  out[2] = 'O';
  out[3] = n;
  out[4] = kEtx;
  out[5] = FrameChecksum(out, kOneOnOneStartBytes);
}

void BuildMasterTransferRow(PinIndex pin, const PinSet& bits, uint8_t (&out)[kMasterTransferRowBytes]) {
  out[0] = kStx;
  out[1] = kRowLen;
  out[2] = 'T';
  out[3] = 'D';
  out[4] = static_cast<uint8_t>(pin + 1);
  std::memcpy(out + 5, bits.bytes, kPinSetBytes);
  out[18] = kEtx;
  out[19] = FrameChecksum(out, kMasterTransferRowBytes);
}

int BuildMasterTransfer(const ConnectionRow (&rows)[kPinCount], uint8_t (&out)[kMasterTransferMaxBytes]) {
  int n = 0;
  std::memcpy(out, kMasterTransferStart, sizeof kMasterTransferStart);
  n += static_cast<int>(sizeof kMasterTransferStart);
  for (int pin = 0; pin < kPinCount; ++pin) {
    // Only wiring travels: a row holding exactly its own pin is left out.
    if (IsOnlyOwnPin(rows[pin].bits, pin)) continue;
    uint8_t frame[kMasterTransferRowBytes];
    BuildMasterTransferRow(static_cast<PinIndex>(pin), rows[pin].bits, frame);
    std::memcpy(out + n, frame, sizeof frame);
    n += kMasterTransferRowBytes;
  }
  std::memcpy(out + n, kMasterTransferEnd, sizeof kMasterTransferEnd);
  n += static_cast<int>(sizeof kMasterTransferEnd);
  return n;
}

void StatusReplyVersion(const ResponseRecord& record, char16_t (&out)[6]) {
  // Frame offset 4 is not part of the version.
  out[0] = record.frame[5];
  out[1] = u'.';
  out[2] = record.frame[6];
  out[3] = record.frame[7];
  out[4] = record.frame[8];
  out[5] = 0;
}
