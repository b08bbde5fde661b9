// The frames on the line: the decoder and its queue, and the commands the
// program builds.
#include "link/frame_codec.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/commands.h"
#include "support/unit_frames.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes operator+(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// Feeds the bytes and takes every accepted record as it comes.
std::vector<ResponseRecord> Decode(const Bytes& bytes, ResponseChannel* channel = nullptr) {
  ResponseChannel own{};
  ResponseChannel& ch = channel != nullptr ? *channel : own;
  std::vector<ResponseRecord> records;
  ResponseRecord r;
  for (uint8_t b : bytes)
    if (FeedByte(ch, b) && TakeResponse(ch.queue, r)) records.push_back(r);
  return records;
}

// Whatever the decoder cannot take as part of a well-formed frame is counted,
// and a damaged frame is dropped whole: never resynchronised on a byte that
// happens to match. An STX where the ETX or SUM belonged starts the next frame.
TEST(FrameDecoder, TakesWellFormedFramesAndCountsEverythingElse) {
  const Bytes status{0x02, 0x03, 0x53, 0x54, 0x03, 0xAD};
  const Bytes longest = Framed({'W', 'D', 0x02, 0x03, 0x02, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0xFF, 0x03});
  Bytes overlong{0x02, 19};
  for (int i = 0; i < 40; ++i) overlong.push_back(i % 2 ? 0x03 : 0xFF);
  const struct {
    const char* what;
    Bytes stream;
    uint32_t dropped;
    Bytes last;  // the last frame accepted
  } cases[] = {
      {"clean", status, 0, status},
      {"a byte lost: the next frame's STX", Bytes{0x02, 0x03, 0x53, 0x03, 0xAD} + status, 1, status},
      {"cut before the SUM by the next frame", Bytes{0x02, 0x03, 0x53, 0x54, 0x03} + status, 1, status},
      {"LEN 0 takes one payload byte", {0x02, 0x00, 0x41, 0x03, 0x44}, 0, {0x02, 0x00, 0x41, 0x03, 0x44}},
      {"LEN 2 takes one payload byte", {0x02, 0x02, 0x41, 0x03, 0x46}, 0, {0x02, 0x02, 0x41, 0x03, 0x46}},
      {"LEN 18, STX and ETX as data", longest, 0, longest},
      {"nothing of the longest frame is left in the next", longest + status, 0, status},
      {"LEN 19 dropped, then each body byte", overlong + RowFrame('R', A(7), {}), 41, RowFrame('R', A(7), {})},
      {"an overlong frame's body is searched for the STX", Bytes{0x02, 0x14} + status, 1, status},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResponseChannel ch{};
    ch.ResponsePending = 1;
    const std::vector<ResponseRecord> got = Decode(c.stream, &ch);
    ASSERT_FALSE(got.empty());
    Bytes held = c.last;
    held.resize(kFrameBufferBytes);  // the frame, then zero fill
    EXPECT_EQ(Bytes(got.back().frame, got.back().frame + kFrameBufferBytes), held);
    EXPECT_EQ(ch.dropped, c.dropped);
    EXPECT_EQ(ch.decoder.state, DecoderState::Idle);
    EXPECT_EQ(ch.ResponsePending, 0u) << "an accepted frame ends the wait";
  }
}

// Pairs of letters the unit never sends are unknown, whatever the first one;
// the known pairs show in the panel's tests.
TEST(FrameDecoder, ClassifiesOtherPairsAsUnknown) {
  for (const char* pair : {"SD", "TD", "PE", "WK", "O2"})
    EXPECT_EQ(Decode(Framed({uint8_t(pair[0]), uint8_t(pair[1]), 0x01})).at(0).kind, UnknownResponse) << pair;
}

// 32 records fill the queue: a frame then is refused whole, and decoding goes
// on once a record is taken.
TEST(ResponseQueue, AFullQueueRefusesTheNewFrameUntilOneIsTaken) {
  ResponseChannel ch{};
  for (unsigned p = 0; p < 32; ++p)
    for (uint8_t b : RowFrame('R', p, {})) FeedByte(ch, b);
  EXPECT_TRUE(ResponseQueueFull(ch.queue));
  ch.ResponsePending = 1;
  EXPECT_TRUE(Decode(RowFrame('R', 99, {}), &ch).empty());
  EXPECT_EQ(ch.dropped, 1u) << "a record lost";
  EXPECT_EQ(ch.ResponsePending, 1u) << "a refused frame was not received";

  ResponseRecord r;
  ASSERT_TRUE(TakeResponse(ch.queue, r));
  EXPECT_EQ(r.frame[4], 1);
  EXPECT_EQ(Decode(RowFrame('R', 32, {}), &ch).size(), 1u);
}

// --- the commands ---

TEST(Commands, TheOneOnOneStartCarriesItsSumForEveryPinCount) {
  uint8_t start[kOneOnOneStartBytes];
  // The sum wraps from n = 0xAB on; the unit must still accept it.
  for (int n = 0; n < 256; ++n) {
    BuildOneOnOneStart(static_cast<uint8_t>(n), start);
    ASSERT_EQ(Decode(Bytes(start, start + 6)).size(), 1u) << n;
  }
}

TEST(Commands, TransferSendsEveryRowThatIsNotExactlyItsOwnPin) {
  ConnectionRow rows[kPinCount];
  InitConnectionRows(rows);
  rows[A(1)].bits = Pins({A(1), B(1)});
  rows[A(8)].bits = Pins({});        // holds nothing at all
  rows[C(4)].bits = Pins({A(9)});    // holds another pin but not itself
  rows[C(4)].pin = 3;                // the pin number comes from the position
  uint8_t out[kMasterTransferMaxBytes];
  const int n = BuildMasterTransfer(rows, out);
  const auto frames = Decode(Bytes(out, out + n));
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(FrameOf(frames[0]), AsBytes(kMasterTransferStart));
  const unsigned pins[] = {A(1), A(8), C(4)};
  for (int i = 0; i < 3; ++i) EXPECT_EQ(FrameOf(frames[1 + i]), RowFrame('T', pins[i], rows[pins[i]].bits)) << i;
  EXPECT_EQ(FrameOf(frames[4]), AsBytes(kMasterTransferEnd));
}

}  // namespace
