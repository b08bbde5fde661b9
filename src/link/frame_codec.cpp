#include "link/frame_codec.h"

#include <cstring>

namespace {

static_assert(kResponseQueueEntries == 32, "indices wrap with a mask");
constexpr uint8_t kIndexMask = kResponseQueueEntries - 1;

ResponseKind Classify(uint8_t first, uint8_t second) {
  switch (first) {
    case 'S':
      return second == 'T' ? StatusReply : UnknownResponse;
    case 'O':
      return second == 'D' ? OneOnOneRow : second == 'E' ? OneOnOneEnd : UnknownResponse;
    case 'P':
      return second == 'D' ? ProbeState : UnknownResponse;
    case 'R':
      return second == 'D' ? MasterRow : second == 'E' ? MasterEnd : UnknownResponse;
    case 'W':
      return second == 'D' ? WorkRow : second == 'E' ? WorkEnd : UnknownResponse;
    default:
      return UnknownResponse;
  }
}

bool Accept(ResponseChannel& channel, uint8_t b) {
  FrameDecoder& d = channel.decoder;
  ResponseQueue& q = channel.queue;
  d.state = DecoderState::Idle;
  // The owner drains a full queue before feeding more bytes. Should it not,
  // the new frame is the one that goes: overwriting an unread record would
  // lose it and make the count lie, so the consumer would take records twice.
  if (ResponseQueueFull(q)) {
    ++channel.dropped;
    return false;
  }
  d.frame[2 + d.count] = b;
  ResponseRecord& entry = q.entries[q.writeIndex & kIndexMask];
  entry.kind = Classify(d.frame[2], d.frame[3]);
  channel.ResponsePending = 0;
  std::memcpy(entry.frame, d.frame, sizeof entry.frame);
  ++q.unreadCount;
  q.writeIndex = static_cast<uint8_t>((q.writeIndex + 1) & kIndexMask);
  return true;
}

void BeginFrame(FrameDecoder& d) {
  d.frame[0] = kStx;
  std::memset(d.frame + 1, 0, sizeof d.frame - 1);
  d.sum = 0;
  d.state = DecoderState::Length;
}

// The frame being received is damaged. A lost ETX or SUM often means the
// next frame has already begun, so an STX here starts it.
bool DropFrame(ResponseChannel& channel, uint8_t b) {
  ++channel.dropped;
  if (b == kStx) BeginFrame(channel.decoder);
  else channel.decoder.state = DecoderState::Idle;
  return false;
}

}  // namespace

bool FeedByte(ResponseChannel& channel, uint8_t b) {
  FrameDecoder& d = channel.decoder;
  switch (d.state) {
    case DecoderState::Idle:
      if (b == kStx) BeginFrame(d);
      else ++channel.dropped;
      return false;
    case DecoderState::Length:
      // A longer frame would not fit the buffer; the unit never sends one, so
      // it is dropped whole and the next STX starts over.
      if (b > kMaxFrameLen) {
        ++channel.dropped;
        d.state = DecoderState::Idle;
        return false;
      }
      d.sum = b;
      d.frame[1] = b;
      d.expected = b;
      d.count = 0;
      d.state = DecoderState::Payload;
      return false;
    case DecoderState::Payload:
      d.sum = static_cast<uint8_t>(d.sum + b);
      d.frame[2 + d.count] = b;
      ++d.count;
      // Signed: a LEN of 0, 1 or 2 still takes exactly one payload byte.
      d.state = int{d.count} >= int{d.expected} - 1 ? DecoderState::Etx : DecoderState::Payload;
      return false;
    case DecoderState::Etx:
      if (b != kEtx) return DropFrame(channel, b);
      d.frame[2 + d.count] = b;
      ++d.count;
      d.sum = static_cast<uint8_t>(d.sum + kEtx);
      d.state = DecoderState::Checksum;
      return false;
    case DecoderState::Checksum:
      return b == d.sum ? Accept(channel, b) : DropFrame(channel, b);
  }
  // Only a decoder whose memory was trampled gets here; start over cleanly.
  d.state = DecoderState::Idle;
  return false;
}

void ClearResponses(ResponseChannel& channel) { std::memset(&channel.queue, 0, sizeof channel.queue); }

bool ResponseQueueFull(const ResponseQueue& queue) { return queue.unreadCount >= kResponseQueueEntries; }

bool TakeResponse(ResponseQueue& queue, ResponseRecord& out) {
  if (queue.unreadCount == 0) return false;
  out = queue.entries[queue.readIndex & kIndexMask];
  queue.readIndex = static_cast<uint8_t>((queue.readIndex + 1) & kIndexMask);
  --queue.unreadCount;
  return true;
}
