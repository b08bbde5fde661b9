// Any byte stream from the line, delivered in pieces of any size, with the
// window taking records or clearing the queue for a new exchange at points
// the input picks. The decoder and the queue must stay inside their arrays
// (which share one object, so the sanitizer alone would not see it), and
// every record taken must be a well-formed frame.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "link/frame_codec.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

void CheckFrame(const ResponseRecord& r) {
  const uint8_t* f = r.frame;
  Check(f[0] == kStx && f[1] <= kMaxFrameLen);
  const int payload = f[1] > 2 ? f[1] - 1 : 1;
  Check(f[2 + payload] == kEtx);
  unsigned sum = 0;
  for (int i = 1; i <= 2 + payload; ++i) sum += f[i];
  Check(f[3 + payload] == static_cast<uint8_t>(sum));
  for (int i = 4 + payload; i < kFrameBufferBytes; ++i) Check(f[i] == 0);
  Check(r.kind <= WorkEnd || r.kind == UnknownResponse);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ResponseChannel ch;
  ch = ResponseChannel{};
  FuzzedDataProvider in(data, size);
  while (in.remaining_bytes() > 0) {
    // Choices come from the end of the input, line bytes from the front.
    const uint8_t choice = in.ConsumeIntegral<uint8_t>();
    const std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 64));
    ch.ResponsePending = 1;  // a command went out
    for (uint8_t b : bytes) {
      FeedByte(ch, b);
      const ResponseQueue& q = ch.queue;
      Check(2 + ch.decoder.count < kFrameBufferBytes && ch.decoder.expected <= kMaxFrameLen);
      Check(q.readIndex < kResponseQueueEntries && q.writeIndex < kResponseQueueEntries);
      Check(q.unreadCount <= kResponseQueueEntries);
    }
    ResponseRecord r;
    if (choice & 1) {
      ClearResponses(ch);  // a new exchange starts
    } else {
      for (int n = choice >> 1; n > 0 && TakeResponse(ch.queue, r); --n) CheckFrame(r);
    }
  }
  return 0;
}
