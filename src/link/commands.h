#pragma once
// The command frames sent to the tester unit. The fixed ones are constants;
// the two with variable bytes are filled just before they are queued.
#include <cstdint>

#include "cabledata/cable_set.h"
#include "link/frame_codec.h"

inline constexpr uint8_t kStatusQuery[] = {0x02, 0x03, 0x53, 0x54, 0x03, 0xAD};
inline constexpr uint8_t kProbeStart[] = {0x02, 0x03, 0x50, 0x53, 0x03, 0xA9};
inline constexpr uint8_t kProbeFinish[] = {0x02, 0x03, 0x50, 0x45, 0x03, 0x9B};
inline constexpr uint8_t kMasterRead[] = {0x02, 0x03, 0x4D, 0x52, 0x03, 0xA5};
inline constexpr uint8_t kMasterTransferStart[] = {0x02, 0x03, 0x4D, 0x54, 0x03, 0xA7};
inline constexpr uint8_t kMasterTransferEnd[] = {0x02, 0x03, 0x54, 0x45, 0x03, 0x9F};
inline constexpr uint8_t kWorkTest[] = {0x02, 0x03, 0x57, 0x4B, 0x03, 0xA8};

inline constexpr int kOneOnOneStartBytes = 6;
inline constexpr int kMasterTransferRowBytes = 20;
// Start, one row per pin, end: the longest block ever queued at once.
inline constexpr int kMasterTransferMaxBytes = 6 + kPinCount * kMasterTransferRowBytes + 6;

// Sum of LEN, payload and ETX, modulo 256: what a frame's last byte must be.
// `size` is the whole frame, STX to SUM.
uint8_t FrameChecksum(const uint8_t* frame, int size);

// Fills `out` with OneOnOneStart for n pins per side.
void BuildOneOnOneStart(uint8_t n, uint8_t (&out)[kOneOnOneStartBytes]);

// Fills `out` with MasterTransferRow for PinIndex `pin` (sent as pin + 1,
// from the row's position, not its stored pin byte) and its PinSet.
void BuildMasterTransferRow(PinIndex pin, const PinSet& bits, uint8_t (&out)[kMasterTransferRowBytes]);

// The whole master transfer of one cable: start, a row for every pin whose
// row is not exactly its own bit, end. Returns the byte count.
int BuildMasterTransfer(const ConnectionRow (&rows)[kPinCount], uint8_t (&out)[kMasterTransferMaxBytes]);

// The five-character hardware version ("1.234") of a StatusReply record;
// `out` gets the text and a terminator.
void StatusReplyVersion(const ResponseRecord& record, char16_t (&out)[6]);
