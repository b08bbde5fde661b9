// The frames on the line: the decoder and its queue, and the commands the
// program builds.
#include "link/frame_codec.h"

#include <gtest/gtest.h>

#include <vector>

#include "link/commands.h"
#include "support/unit_frames.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Row(uint8_t pin) { return Framed({'R', 'D', pin, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}); }

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes all;
  for (const Bytes& p : parts) all.insert(all.end(), p.begin(), p.end());
  return all;
}

// The record's frame as held: the frame, then zero fill.
Bytes Held(const ResponseRecord& r) { return Bytes(r.frame, r.frame + kFrameBufferBytes); }
Bytes Padded(Bytes frame) {
  frame.resize(kFrameBufferBytes);
  return frame;
}

// Feeds the bytes and takes every accepted record as it comes.
std::vector<ResponseRecord> Decode(ResponseChannel& ch, const uint8_t* bytes, size_t n) {
  std::vector<ResponseRecord> records;
  ResponseRecord r;
  for (size_t i = 0; i < n; ++i)
    if (FeedByte(ch, bytes[i]) && TakeResponse(ch.queue, r)) records.push_back(r);
  return records;
}
std::vector<ResponseRecord> Decode(const Bytes& bytes) {
  ResponseChannel ch{};
  return Decode(ch, bytes.data(), bytes.size());
}

// Whatever the decoder cannot take as part of a well-formed frame is counted,
// and a damaged frame is dropped whole: never resynchronised on a byte that
// happens to match. An STX where the ETX or SUM belonged starts the next frame.
TEST(FrameDecoder, TakesWellFormedFramesAndCountsEverythingElse) {
  const Bytes status{0x02, 0x03, 0x53, 0x54, 0x03, 0xAD};
  const Bytes longest = Framed({'W', 'D', 0x02, 0x03, 0x02, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                                0xFF, 0xFF, 0x03});
  Bytes overlongBody;
  for (int i = 0; i < 40; ++i) overlongBody.push_back(i % 2 ? 0x03 : 0xFF);
  const struct {
    const char* what;
    Bytes stream;
    uint32_t dropped;
    Bytes last;  // the last frame accepted, empty for none
  } cases[] = {
      {"clean", status, 0, status},
      {"a byte lost: the next frame's STX", Cat({{0x02, 0x03, 0x53, 0x03, 0xAD}, status}), 1, status},
      {"cut before the SUM by the next frame", Cat({{0x02, 0x03, 0x53, 0x54, 0x03}, status}), 1, status},
      {"LEN 0 takes one payload byte", {0x02, 0x00, 0x41, 0x03, 0x44}, 0, {0x02, 0x00, 0x41, 0x03, 0x44}},
      {"LEN 2 takes one payload byte", {0x02, 0x02, 0x41, 0x03, 0x46}, 0, {0x02, 0x02, 0x41, 0x03, 0x46}},
      {"LEN 18, STX and ETX as data", longest, 0, longest},
      {"nothing of the longest frame is left in the next", Cat({longest, status}), 0, status},
      {"LEN 19 dropped, then each body byte", Cat({{0x02, 19}, overlongBody, Row(7)}), 41, Row(7)},
      {"an overlong frame's body is searched for the STX", Cat({{0x02, 0x14}, status}), 1, status},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ResponseChannel ch{};
    ch.ResponsePending = 1;
    const std::vector<ResponseRecord> got = Decode(ch, c.stream.data(), c.stream.size());
    EXPECT_EQ(got.empty() ? Bytes() : Held(got.back()), c.last.empty() ? Bytes() : Padded(c.last));
    EXPECT_EQ(ch.dropped, c.dropped);
    EXPECT_EQ(ch.decoder.state, DecoderState::Idle);
    EXPECT_EQ(ch.ResponsePending, got.empty() ? 1u : 0u) << "only an accepted frame ends the wait";
  }
}

// Pairs of letters the unit never sends are unknown, whatever the first one;
// the known pairs show in the panel's tests.
TEST(FrameDecoder, ClassifiesOtherPairsAsUnknown) {
  for (const char* pair : {"SD", "TD", "PE", "WK", "O2"}) {
    const auto got = Decode(Framed({static_cast<uint8_t>(pair[0]), static_cast<uint8_t>(pair[1]), 0x01}));
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(got[0].kind, UnknownResponse) << pair;
  }
}

// 32 records fill the queue: a frame then is refused whole, and decoding goes
// on once a record is taken.
TEST(ResponseQueue, AFullQueueRefusesTheNewFrameUntilOneIsTaken) {
  ResponseChannel ch{};
  for (uint8_t p = 1; p <= 32; ++p)
    for (uint8_t b : Row(p)) FeedByte(ch, b);
  EXPECT_TRUE(ResponseQueueFull(ch.queue));
  ch.ResponsePending = 1;
  EXPECT_TRUE(Decode(ch, Row(99).data(), Row(99).size()).empty());
  EXPECT_EQ(ch.dropped, 1u) << "a record lost";
  EXPECT_EQ(ch.ResponsePending, 1u) << "a refused frame was not received";

  ResponseRecord r;
  ASSERT_TRUE(TakeResponse(ch.queue, r));
  EXPECT_EQ(r.frame[4], 1);
  EXPECT_EQ(Decode(ch, Row(33).data(), Row(33).size()).size(), 1u);
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
