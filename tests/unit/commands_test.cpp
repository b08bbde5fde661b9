#include "link/commands.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

// Every frame the decoder accepts from `bytes`, taken as they come.
std::vector<ResponseRecord> Decode(const uint8_t* bytes, size_t n) {
  static ResponseChannel ch;
  ch = ResponseChannel{};
  std::vector<ResponseRecord> frames;
  for (size_t i = 0; i < n; ++i) {
    if (FeedByte(ch, bytes[i])) {
      ResponseRecord r;
      EXPECT_TRUE(TakeResponse(ch.queue, r));
      frames.push_back(r);
    }
  }
  EXPECT_EQ(ch.decoder.state, DecoderState::Idle) << "block ends on a frame boundary";
  return frames;
}

Bytes Of(const uint8_t* p, size_t n) { return Bytes(p, p + n); }

TEST(Commands, FixedFramesCarryTheirLettersAndAValidSum) {
  struct Case {
    const uint8_t* frame;
    size_t size;
    const char* letters;
    uint8_t sum;
  } cases[] = {
      {kStatusQuery, sizeof kStatusQuery, "ST", 0xAD},
      {kProbeStart, sizeof kProbeStart, "PS", 0xA9},
      {kProbeFinish, sizeof kProbeFinish, "PE", 0x9B},
      {kMasterRead, sizeof kMasterRead, "MR", 0xA5},
      {kMasterTransferStart, sizeof kMasterTransferStart, "MT", 0xA7},
      {kMasterTransferEnd, sizeof kMasterTransferEnd, "TE", 0x9F},
      {kWorkTest, sizeof kWorkTest, "WK", 0xA8},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(c.size, 6u) << c.letters;
    const Bytes want{0x02, 0x03, static_cast<uint8_t>(c.letters[0]), static_cast<uint8_t>(c.letters[1]), 0x03, c.sum};
    EXPECT_EQ(Of(c.frame, c.size), want) << c.letters;
    EXPECT_EQ(FrameChecksum(c.frame, 6), c.sum) << c.letters;
    EXPECT_EQ(Decode(c.frame, c.size).size(), 1u) << c.letters;
  }
}

TEST(Commands, OneOnOneStart) {
  uint8_t f[kOneOnOneStartBytes];
  BuildOneOnOneStart(1, f);
  EXPECT_EQ(Of(f, sizeof f), (Bytes{0x02, 0x03, 0x4F, 0x01, 0x03, 0x56}));
  BuildOneOnOneStart(50, f);
  EXPECT_EQ(Of(f, sizeof f), (Bytes{0x02, 0x03, 0x4F, 0x32, 0x03, 0x87}));
  // The sum wraps from n = 0xAB on; the unit must still accept it.
  for (int n = 0; n < 256; ++n) {
    BuildOneOnOneStart(static_cast<uint8_t>(n), f);
    EXPECT_EQ(f[5], static_cast<uint8_t>(0x55 + n));
    ASSERT_EQ(Decode(f, sizeof f).size(), 1u) << n;
  }
}

TEST(Commands, MasterTransferRow) {
  PinSet bits{};
  PinSetAdd(bits, 0);
  PinSetAdd(bits, 50);  // B01
  uint8_t f[kMasterTransferRowBytes];
  BuildMasterTransferRow(0, bits, f);
  EXPECT_EQ(Of(f, sizeof f), (Bytes{0x02, 0x11, 0x54, 0x44, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00,
                                    0x00, 0x00, 0x00, 0x00, 0x03, 0xB2}));

  PinSet all;
  std::memset(all.bytes, 0xFF, sizeof all.bytes);
  for (int p = 1; p <= kPinCount; ++p) {
    BuildMasterTransferRow(static_cast<PinIndex>(p - 1), all, f);
    EXPECT_EQ(f[4], p);
    EXPECT_EQ(f[19], static_cast<uint8_t>(0xAC + p + 13 * 0xFF)) << p;
  }
}

TEST(Commands, TransferSendsEveryRowThatIsNotExactlyItsOwnPin) {
  ConnectionRow rows[kPinCount];
  InitConnectionRows(rows);
  PinSetAdd(rows[0].bits, 50);     // A01 - B01
  PinSetRemove(rows[7].bits, 7);   // A08 holds nothing at all
  PinSetRemove(rows[103].bits, 103);
  PinSetAdd(rows[103].bits, 8);    // C04 holds A09 but not itself
  rows[103].pin = 3;               // the pin number comes from the position
  PinSetAdd(rows[60].bits, 60);    // still just itself
  uint8_t out[kMasterTransferMaxBytes];
  const int n = BuildMasterTransfer(rows, out);
  ASSERT_EQ(n, 12 + 3 * kMasterTransferRowBytes);

  const auto frames = Decode(out, static_cast<size_t>(n));
  ASSERT_EQ(frames.size(), 5u);
  EXPECT_EQ(Of(frames[0].frame, 6), Of(kMasterTransferStart, 6));
  const int pins[] = {0, 7, 103};
  for (int i = 0; i < 3; ++i) {
    const ResponseRecord& r = frames[1 + i];
    EXPECT_EQ(r.frame[2], 'T');
    EXPECT_EQ(r.frame[3], 'D');
    EXPECT_EQ(r.frame[4], pins[i] + 1);
    EXPECT_EQ(std::memcmp(r.frame + 5, rows[pins[i]].bits.bytes, kPinSetBytes), 0) << pins[i];
  }
  EXPECT_EQ(Of(frames[4].frame, 6), Of(kMasterTransferEnd, 6));
}

TEST(Commands, FullyWiredTransferIsTheLongestBlock) {
  ConnectionRow rows[kPinCount];
  for (ConnectionRow& row : rows) std::memset(&row, 0xFF, sizeof row);
  uint8_t out[kMasterTransferMaxBytes];
  ASSERT_EQ(BuildMasterTransfer(rows, out), 2092);
  const auto frames = Decode(out, sizeof out);
  ASSERT_EQ(frames.size(), 106u);
  for (int p = 1; p <= kPinCount; ++p) EXPECT_EQ(frames[static_cast<size_t>(p)].frame[4], p);
}

TEST(Commands, StatusReplyVersionSkipsOffsetFour) {
  const uint8_t reply[] = {0x02, 0x08, 'S', 'T', 'x', '1', '2', '3', '4', 0x03, 0xF4};
  const auto frames = Decode(reply, sizeof reply);
  ASSERT_EQ(frames.size(), 1u);
  ASSERT_EQ(frames[0].kind, StatusReply);
  char16_t version[6];
  std::memset(version, 0xEE, sizeof version);
  StatusReplyVersion(frames[0], version);
  EXPECT_EQ(std::u16string(version), u"1.234");
}

}  // namespace
