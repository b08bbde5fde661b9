#pragma once
// Cables and the unit's frames written out by hand, so that tests compare what
// reaches the host with what a tester unit should send for that cable, not
// with what the simulator happens to compute.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "cabledata/cable_set.h"
#include "link/frame_codec.h"
#include "support/pins.h"

using FrameBytes = std::vector<uint8_t>;

// The frame a decoded record holds.
inline FrameBytes FrameOf(const ResponseRecord& r) { return FrameBytes(r.frame, r.frame + r.frame[1] + 3); }

// A command of the program's as bytes, to compare with what the unit received.
template <size_t N>
FrameBytes AsBytes(const uint8_t (&frame)[N]) {
  return FrameBytes(frame, frame + N);
}

// STX, LEN, the payload, ETX and SUM (LEN, payload and ETX summed). Vectors
// here are made at their full size: growing a small one by insert sets off a
// false -Warray-bounds in gcc 12's release builds.
inline FrameBytes Framed(const FrameBytes& payload) {
  FrameBytes frame(payload.size() + 4);
  frame[0] = 0x02;
  frame[1] = static_cast<uint8_t>(payload.size() + 1);
  std::copy(payload.begin(), payload.end(), frame.begin() + 2);
  frame[frame.size() - 2] = 0x03;
  unsigned sum = 0;
  for (size_t i = 1; i + 1 < frame.size(); ++i) sum += frame[i];
  frame.back() = static_cast<uint8_t>(sum);
  return frame;
}

// The letter, 'D', then `lead` bytes, then a PinSet.
inline FrameBytes PinSetFrame(char letter, const FrameBytes& lead, const PinSet& bits) {
  FrameBytes payload(2 + lead.size() + kPinSetBytes);
  payload[0] = static_cast<uint8_t>(letter);
  payload[1] = 'D';
  std::copy(lead.begin(), lead.end(), payload.begin() + 2);
  std::copy(bits.bytes, bits.bytes + kPinSetBytes, payload.end() - kPinSetBytes);
  return Framed(payload);
}

// A row for the pin at `pin`: an answer ('O', 'R', 'W') or a transfer ('T').
inline FrameBytes RowFrame(char letter, unsigned pin, const PinSet& bits) {
  return PinSetFrame(letter, {static_cast<uint8_t>(pin + 1)}, bits);
}

inline FrameBytes EndFrame(char letter) { return Framed({static_cast<uint8_t>(letter), 'E'}); }

inline FrameBytes ProbeFrame(const PinSet& bits) { return PinSetFrame('P', {}, bits); }

// The simulator's StatusReply: the byte before the version is 0.
inline FrameBytes StatusFrame(const char (&version)[5]) {
  return Framed({'S', 'T', 0x00, static_cast<uint8_t>(version[0]), static_cast<uint8_t>(version[1]),
                 static_cast<uint8_t>(version[2]), static_cast<uint8_t>(version[3])});
}
