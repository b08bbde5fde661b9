#include "link/frame_codec.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "support/unit_frames.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Row(uint8_t pin) { return Framed({'R', 'D', pin, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}); }

int Feed(ResponseChannel& ch, const Bytes& bytes) {
  int accepted = 0;
  for (uint8_t b : bytes) accepted += FeedByte(ch, b) ? 1 : 0;
  return accepted;
}

// What a window does on one "frame queued" notice: count once, take that many.
std::vector<ResponseRecord> TakeNotice(ResponseQueue& q) {
  std::vector<ResponseRecord> taken;
  const int n = q.unreadCount;
  for (int i = 0; i < n; ++i) {
    ResponseRecord r;
    if (TakeResponse(q, r)) taken.push_back(r);
  }
  return taken;
}

// The record's frame bytes as they should be: the frame, then zero fill.
void ExpectRecordFrame(const ResponseRecord& r, const Bytes& frame) {
  uint8_t want[kFrameBufferBytes] = {};
  std::memcpy(want, frame.data(), frame.size());
  EXPECT_EQ(std::memcmp(r.frame, want, sizeof want), 0);
}

bool AllZero(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  for (size_t i = 0; i < n; ++i)
    if (b[i] != 0) return false;
  return true;
}

TEST(FrameDecoder, WorkedProbeStateExample) {
  ResponseChannel ch{};
  ch.ResponsePending = 1;
  const Bytes bytes{0x02, 0x10, 0x50, 0x44, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                    0x04, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0xAC};
  for (size_t i = 0; i + 1 < bytes.size(); ++i) ASSERT_FALSE(FeedByte(ch, bytes[i])) << i;
  ASSERT_TRUE(FeedByte(ch, bytes.back()));
  EXPECT_EQ(ch.decoder.state, DecoderState::Idle);
  EXPECT_EQ(ch.ResponsePending, 0u);
  ASSERT_EQ(ch.queue.unreadCount, 1);
  const ResponseRecord& r = ch.queue.entries[0];
  EXPECT_EQ(r.kind, ProbeState);
  ExpectRecordFrame(r, bytes);
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&r)[kRecordProbeSet], 0x01) << "A01";
  EXPECT_EQ(reinterpret_cast<const uint8_t*>(&r)[kRecordProbeSet + 6], 0x04) << "B01";
}

// Whatever the decoder cannot take as part of a well-formed frame is counted,
// and a damaged frame is dropped whole: never resynchronised on a byte that
// happens to match. An STX where the ETX or SUM belonged starts the next frame.
TEST(FrameDecoder, DamageIsDroppedAndCounted) {
  const Bytes status{0x02, 0x03, 0x53, 0x54, 0x03, 0xAD};
  struct Case {
    const char* what;
    Bytes stream;
    int accepted;
    uint32_t dropped;
  } cases[] = {
      {"clean", status, 1, 0},
      {"noise before the STX", {0x00, 0xFF, 0x41, 0x03, 0x02, 0x03, 0x53, 0x54, 0x03, 0xAD}, 1, 4},
      {"not the ETX, then the ETX and SUM", {0x02, 0x03, 0x53, 0x54, 0xFF, 0x03, 0xAD}, 0, 3},
      {"not the SUM, then the SUM", {0x02, 0x03, 0x53, 0x54, 0x03, 0x00, 0xAD}, 0, 2},
      {"the STX lost", {0x03, 0x53, 0x54, 0x03, 0xAD}, 0, 5},
      {"a byte lost: the next frame's STX", {0x02, 0x03, 0x53, 0x03, 0xAD, 0x02, 0x03, 0x53, 0x54, 0x03, 0xAD}, 1, 1},
      {"cut before the SUM by the next frame", {0x02, 0x03, 0x53, 0x54, 0x03, 0x02, 0x03, 0x53, 0x54, 0x03, 0xAD}, 1, 1},
  };
  for (const Case& c : cases) {
    ResponseChannel ch{};
    ch.ResponsePending = 1;
    EXPECT_EQ(Feed(ch, c.stream), c.accepted) << c.what;
    EXPECT_EQ(ch.dropped, c.dropped) << c.what;
    EXPECT_EQ(ch.decoder.state, DecoderState::Idle) << c.what;
    if (c.accepted == 1) ExpectRecordFrame(ch.queue.entries[0], status);
    EXPECT_EQ(ch.ResponsePending, c.accepted == 1 ? 0u : 1u) << c.what;
  }
}

TEST(FrameDecoder, ShortLengthsTakeExactlyOnePayloadByte) {
  for (uint8_t len : {uint8_t{0}, uint8_t{1}, uint8_t{2}}) {
    ResponseChannel ch{};
    const auto sum = static_cast<uint8_t>(len + 0x41 + 0x03);
    const Bytes stream{0x02, len, 0x41, 0x03, sum};
    EXPECT_EQ(Feed(ch, stream), 1) << int{len};
    EXPECT_EQ(ch.dropped, 0u);
    ExpectRecordFrame(ch.queue.entries[0], {0x02, len, 0x41, 0x03, sum});
    EXPECT_EQ(ch.queue.entries[0].kind, UnknownResponse);
  }
}

TEST(FrameDecoder, LongestFrameFillsTheBufferAndStxEtxAreData) {
  // LEN 18: payload of 17 bytes, among them values that look like STX and ETX.
  const Bytes f = Framed({'W', 'D', 0x02, 0x03, 0x02, 0x03, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x03});
  ASSERT_EQ(f.size(), 21u);
  ResponseChannel ch{};
  EXPECT_EQ(Feed(ch, f), 1);
  EXPECT_EQ(ch.queue.entries[0].kind, WorkRow);
  ExpectRecordFrame(ch.queue.entries[0], f);
}

TEST(FrameDecoder, OverlongFrameIsDroppedAndTheNextStxStartsOver) {
  const Bytes good = Row(7);
  for (uint8_t len : {uint8_t{19}, uint8_t{0x7F}, uint8_t{0xFF}}) {
    ResponseChannel ch{};
    Bytes stream{0x02, len};
    for (int i = 0; i < 40; ++i) stream.push_back(i % 2 ? 0x03 : 0xFF);
    EXPECT_EQ(Feed(ch, stream), 0);
    EXPECT_EQ(ch.dropped, 1u + 40u) << "the frame, then each byte of its body";
    EXPECT_EQ(ch.decoder.state, DecoderState::Idle);
    EXPECT_TRUE(AllZero(&ch.queue, sizeof ch.queue)) << "nothing written past the frame buffer";
    EXPECT_EQ(Feed(ch, good), 1);
    ExpectRecordFrame(ch.queue.entries[0], good);
  }
  // The body of a dropped frame is searched for the next STX like any noise.
  ResponseChannel ch{};
  EXPECT_EQ(Feed(ch, {0x02, 0x14, 0x02, 0x03, 0x53, 0x54, 0x03, 0xAD}), 1);
  EXPECT_EQ(ch.queue.entries[0].kind, StatusReply);
}

TEST(FrameDecoder, ClassifiesByTheFirstTwoPayloadBytes) {
  struct Case {
    char a, b;
    uint8_t kind;
  } cases[] = {{'S', 'T', StatusReply}, {'O', 'D', OneOnOneRow},   {'O', 'E', OneOnOneEnd},     {'P', 'D', ProbeState},
               {'R', 'D', MasterRow},   {'R', 'E', MasterEnd},     {'W', 'D', WorkRow},         {'W', 'E', WorkEnd},
               {'S', 'D', UnknownResponse}, {'T', 'D', UnknownResponse}, {'P', 'E', UnknownResponse},
               {'W', 'K', UnknownResponse}, {'O', 0x32, UnknownResponse}};
  for (const Case& c : cases) {
    ResponseChannel ch{};
    ch.queue.entries[0].kind = 0x5A;  // whatever an earlier record left
    ch.ResponsePending = 1;
    EXPECT_EQ(Feed(ch, Framed({static_cast<uint8_t>(c.a), static_cast<uint8_t>(c.b), 0x01})), 1);
    EXPECT_EQ(ch.queue.entries[0].kind, c.kind) << c.a << c.b;
    EXPECT_EQ(ch.ResponsePending, 0u) << "any accepted frame ends the wait";
  }
}

TEST(FrameDecoder, FrameCutOffContinuesWithTheNextBytes) {
  Bytes stream = Row(1);
  const Bytes more = Framed({'R', 'E'});
  stream.insert(stream.end(), more.begin(), more.end());

  ResponseChannel whole{};
  ASSERT_EQ(Feed(whole, stream), 2);
  const std::vector<ResponseRecord> expected = TakeNotice(whole.queue);

  // Every cut point, with the window taking records (and, once, a new
  // exchange clearing the queue) between the pieces.
  for (size_t cut = 1; cut < stream.size(); ++cut) {
    ResponseChannel ch{};
    std::vector<ResponseRecord> got;
    Feed(ch, Bytes(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut)));
    for (const ResponseRecord& r : TakeNotice(ch.queue)) got.push_back(r);
    if (cut == 10) ClearResponses(ch);
    Feed(ch, Bytes(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end()));
    for (const ResponseRecord& r : TakeNotice(ch.queue)) got.push_back(r);
    ASSERT_EQ(got.size(), expected.size()) << cut;
    for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(std::memcmp(&got[i], &expected[i], sizeof got[i]), 0) << cut;
  }
}

TEST(ResponseQueue, TwoFramesInOneBatchAreTakenByTheFirstNotice) {
  ResponseChannel ch{};
  Bytes batch = Framed({'O', 'D', 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0});
  const Bytes end = Framed({'O', 'E'});
  batch.insert(batch.end(), end.begin(), end.end());
  EXPECT_EQ(Feed(ch, batch), 2) << "one notice per frame";
  const auto first = TakeNotice(ch.queue);
  ASSERT_EQ(first.size(), 2u);
  EXPECT_EQ(first[0].kind, OneOnOneRow);
  EXPECT_EQ(first[0].frame[kRecordPinNumber - 1], 3);
  EXPECT_EQ(first[1].kind, OneOnOneEnd);
  ExpectRecordFrame(first[1], end);  // nothing of the longer frame before it is left
  EXPECT_TRUE(TakeNotice(ch.queue).empty());
}

// 32 records fill the queue: a frame then is refused whole, and decoding goes
// on once a record is taken, the ring wrapping without losing or repeating.
TEST(ResponseQueue, FullQueueRefusesTheNewFrameAndWrapsOnceOneIsTaken) {
  ResponseChannel ch{};
  for (uint8_t p = 1; p <= 32; ++p) ASSERT_EQ(Feed(ch, Row(p)), 1);
  EXPECT_EQ(ch.queue.entries[31].frame[4], 32) << "the 32nd record goes to entry 31";
  EXPECT_TRUE(ResponseQueueFull(ch.queue));
  ResponseQueue before;
  std::memcpy(&before, &ch.queue, sizeof before);
  ch.ResponsePending = 1;
  EXPECT_EQ(Feed(ch, Row(99)), 0);
  EXPECT_EQ(ch.dropped, 1u) << "a record lost";
  EXPECT_EQ(std::memcmp(&before, &ch.queue, sizeof before), 0);
  EXPECT_EQ(ch.ResponsePending, 1u) << "a refused frame was not received";
  EXPECT_EQ(ch.decoder.state, DecoderState::Idle);

  ResponseRecord r;
  ASSERT_TRUE(TakeResponse(ch.queue, r));
  EXPECT_EQ(r.frame[4], 1);
  EXPECT_FALSE(ResponseQueueFull(ch.queue));
  ASSERT_EQ(Feed(ch, Row(33)), 1);
  EXPECT_EQ(ch.queue.entries[0].frame[4], 33) << "the 33rd goes to entry 0";
  for (uint8_t p = 2; p <= 33; ++p) {
    ASSERT_TRUE(TakeResponse(ch.queue, r));
    EXPECT_EQ(r.frame[4], p);
  }
  EXPECT_FALSE(TakeResponse(ch.queue, r));
  EXPECT_EQ(ch.queue.readIndex, ch.queue.writeIndex);
}

TEST(ResponseQueue, ClearZeroesTheWholeBlockAndLeavesTheDecoder) {
  ResponseChannel ch{};
  std::memset(&ch.queue, 0xAB, sizeof ch.queue);
  const Bytes f = Framed({'S', 'T', 'x', '1', '2', '3', '4'});
  Feed(ch, Bytes(f.begin(), f.begin() + 5));
  ClearResponses(ch);
  EXPECT_TRUE(AllZero(&ch.queue, sizeof ch.queue));
  EXPECT_EQ(Feed(ch, Bytes(f.begin() + 5, f.end())), 1);
  ExpectRecordFrame(ch.queue.entries[0], f);
}

}  // namespace
