// Any byte stream from the line, delivered in pieces of any size, with the
// window taking records, clearing the queue for a new exchange, or (against
// the owner's contract) feeding on a full queue at points the input picks.
// The decoder must stay inside its buffer, every queued record must be a
// well-formed frame, and records come out once each, in order.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <deque>
#include <vector>

#include "link/frame_codec.h"

#define CHECK(cond)            \
  do {                         \
    if (!(cond)) __builtin_trap(); \
  } while (0)

namespace {

ResponseChannel ch;
std::deque<ResponseRecord> queued;  // what the window must still get, oldest first

void CheckInvariants() {
  const FrameDecoder& d = ch.decoder;
  const ResponseQueue& q = ch.queue;
  CHECK(static_cast<uint8_t>(d.state) <= static_cast<uint8_t>(DecoderState::Checksum));
  CHECK(d.expected <= kMaxFrameLen);
  CHECK(2 + d.count < kFrameBufferBytes);  // where the next payload, ETX or SUM byte goes
  CHECK(q.readIndex < kResponseQueueEntries && q.writeIndex < kResponseQueueEntries);
  CHECK(q.unreadCount <= kResponseQueueEntries);
  CHECK(q.unreadCount == queued.size());
  CHECK((q.readIndex + q.unreadCount) % kResponseQueueEntries == q.writeIndex);
}

void CheckFrame(const ResponseRecord& r) {
  const uint8_t* f = r.frame;
  CHECK(f[0] == kStx);
  CHECK(f[1] <= kMaxFrameLen);
  const int payload = f[1] > 2 ? f[1] - 1 : 1;
  CHECK(f[2 + payload] == kEtx);
  unsigned sum = 0;
  for (int i = 1; i <= 2 + payload; ++i) sum += f[i];
  CHECK(f[3 + payload] == static_cast<uint8_t>(sum));
  for (int i = 4 + payload; i < kFrameBufferBytes; ++i) CHECK(f[i] == 0);
  CHECK(r.kind <= WorkEnd || r.kind == UnknownResponse);
}

void Take(int n) {
  ResponseRecord r;
  for (int i = 0; i < n && TakeResponse(ch.queue, r); ++i) {
    CHECK(!queued.empty());
    CHECK(std::memcmp(&r, &queued.front(), sizeof r) == 0);
    queued.pop_front();
  }
}

void Feed(uint8_t b, bool respectFull) {
  if (ResponseQueueFull(ch.queue)) {
    if (respectFull) {
      Take(kResponseQueueEntries);
    } else {
      ResponseQueue before;
      std::memcpy(&before, &ch.queue, sizeof before);
      const uint32_t pending = ch.ResponsePending;
      CHECK(!FeedByte(ch, b));
      CHECK(std::memcmp(&before, &ch.queue, sizeof before) == 0);
      CHECK(ch.ResponsePending == pending);
      return;
    }
  }
  if (FeedByte(ch, b)) {
    CHECK(ch.decoder.state == DecoderState::Idle);
    CHECK(ch.ResponsePending == 0);
    const ResponseRecord& r = ch.queue.entries[(ch.queue.writeIndex + kResponseQueueEntries - 1) % kResponseQueueEntries];
    CheckFrame(r);
    queued.push_back(r);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ch = ResponseChannel{};
  queued.clear();
  FuzzedDataProvider in(data, size);
  while (in.remaining_bytes() > 0) {
    // Choices come from the end of the input, line bytes from the front.
    const uint8_t choice = in.ConsumeIntegral<uint8_t>();
    const size_t piece = in.ConsumeIntegralInRange<size_t>(1, 64);
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(piece);
    ch.ResponsePending = 1;  // a command went out
    for (uint8_t b : bytes) {
      Feed(b, (choice & 1) != 0);
      CheckInvariants();
    }
    switch ((choice >> 1) & 3) {
      case 0:  // the notice has not been handled yet
        break;
      case 1:
        Take((choice >> 3) & 0x1F);
        break;
      case 2:
        Take(ch.queue.unreadCount);
        break;
      case 3:  // a new exchange starts
        ClearResponses(ch);
        queued.clear();
        break;
    }
    CheckInvariants();
  }
  return 0;
}
