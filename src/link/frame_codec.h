#pragma once
// Frames in both directions: STX, LEN, payload, ETX, SUM. The decoder turns the
// received byte stream into classified records in a 32-entry queue; all of it
// runs on the window thread, so nothing here takes a lock.
#include <cstddef>
#include <cstdint>

inline constexpr uint8_t kStx = 0x02;
inline constexpr uint8_t kEtx = 0x03;
inline constexpr int kFrameBufferBytes = 21;  // longest frame held: LEN 18
inline constexpr uint8_t kMaxFrameLen = 18;
inline constexpr int kResponseQueueEntries = 32;

enum class DecoderState : uint8_t { Idle = 0, Length = 1, Payload = 2, Etx = 3, Checksum = 4 };

struct FrameDecoder {
  DecoderState state;
  uint8_t frame[kFrameBufferBytes];
  uint8_t sum;
  uint8_t expected;
  uint8_t count;
};

enum ResponseKind : uint8_t {
  StatusReply = 0,
  OneOnOneRow = 1,
  OneOnOneEnd = 2,
  ProbeState = 3,
  MasterRow = 4,
  MasterEnd = 5,
  WorkRow = 6,
  WorkEnd = 7,
  UnknownResponse = 255,  // a letter pair no command draws; every handler ignores it
};

// Byte 0 the kind, bytes 1..21 the frame as the decoder held it (record byte
// k is frame byte k - 1), zero past the SUM.
struct ResponseRecord {
  uint8_t kind;
  uint8_t frame[kFrameBufferBytes];
};
static_assert(sizeof(ResponseRecord) == 22);

struct ResponseQueue {
  uint8_t readIndex;
  uint8_t writeIndex;
  uint8_t unreadCount;
  ResponseRecord entries[kResponseQueueEntries];
};
static_assert(sizeof(ResponseQueue) == 707 && offsetof(ResponseQueue, entries) == 3);

// The program-wide receive side of the link: decoder, queue and the flag the
// response timer reads.
struct ResponseChannel {
  FrameDecoder decoder;
  ResponseQueue queue;
  uint32_t ResponsePending;  // nonzero from queueing a command until a frame is accepted
  // Bytes or frames of the unit the decoder had to throw away since the owner
  // last zeroed it: the answer is no longer whole, so nothing may be judged
  // from it. Wraps only after billions of drops; owners test it for nonzero.
  uint32_t dropped;
};

// One step of the decoder. Returns true when b completed a frame, which is
// then queued (the caller posts its "frame queued" notice). Anything it
// cannot take as part of a well-formed frame counts in `dropped`: a byte
// outside a frame, and a frame with a LEN too long for the buffer, a wrong
// ETX or a wrong SUM, which is dropped whole (it is never resynchronised on a
// byte that merely happens to match: that is how garbled records slip in).
// An STX in place of the ETX or SUM starts the next frame. The owner empties
// a full queue (see ResponseQueueFull) before feeding another byte, so that
// no record is lost or taken twice. Fed on a full queue anyway, a completed
// frame is dropped and counted: false, the queue and ResponsePending
// untouched, the decoder idle.
bool FeedByte(ResponseChannel& channel, uint8_t b);

// Empties the queue (indices, count, entries). The decoder is left as it is.
void ClearResponses(ResponseChannel& channel);

bool ResponseQueueFull(const ResponseQueue& queue);

// Takes the oldest unread record; false when none is unread.
bool TakeResponse(ResponseQueue& queue, ResponseRecord& out);

// Offsets of the row responses' fields within a record (frame offset + 1).
inline constexpr int kRecordPinNumber = 5;   // 1-based pin number
inline constexpr int kRecordPinSet = 6;      // 13 PinSet bytes of a row response
inline constexpr int kRecordProbeSet = 5;    // 13 PinSet bytes of a ProbeState
