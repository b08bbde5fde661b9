#include "sim/tester_model.h"

#include <cstring>

#include "link/commands.h"

namespace {

constexpr uint64_t kNever = UINT64_MAX;
constexpr int kOneOnOnePins = 50;
constexpr size_t kRowFrameBytes = 20;    // STX LEN letters pin PinSet ETX SUM
constexpr size_t kShortFrameBytes = 6;   // STX LEN letters ETX SUM
constexpr size_t kStatusFrameBytes = 11; // STX LEN 'S' 'T' x v0..v3 ETX SUM
constexpr size_t kProbeFrameBytes = 19;  // STX LEN 'P' 'D' PinSet ETX SUM
// After a long silence of the caller's clock, the probe stream skips ahead
// instead of piling up seconds of identical frames.
constexpr uint64_t kProbeCatchUpFrames = 20;
constexpr uint64_t kNsPerMs = 1000000;
constexpr uint64_t kNsPerSecond = 1000000000;
constexpr uint64_t kBitsPerByte = 10;  // start, 8 data, stop

bool SameBits(const PinSet& a, const PinSet& b) { return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0; }

bool IsIdentityRow(const PinSet& bits, unsigned pin) {
  PinSet own{};
  PinSetAdd(own, pin);
  return SameBits(bits, own);
}

uint64_t Later(uint64_t a, uint64_t b) { return a > b ? a : b; }

// The first whole millisecond at or after `ns`: a caller's clock shows a byte
// no sooner.
uint64_t CeilMs(uint64_t ns) { return (ns + kNsPerMs - 1) / kNsPerMs; }

}  // namespace

TesterModel::TesterModel() : channel_{}, script_{}, bytes_{}, chunks_{} {
  PlugNothing();
  InitConnectionRows(expected_);
  InitConnectionRows(transfer_);
}

void TesterModel::Plug(const ConnectionRow (&rows)[kPinCount]) { std::memcpy(measured_, rows, sizeof measured_); }

void TesterModel::PlugNothing() { InitConnectionRows(measured_); }

void TesterModel::PlugStraight(int pins) {
  PlugNothing();
  const int n = pins < 0 ? 0 : pins > kOneOnOnePins ? kOneOnOnePins : pins;
  for (int a = 0; a < n; ++a) {
    const int b = a + kOneOnOnePins;
    PinSetAdd(measured_[a].bits, static_cast<unsigned>(b));
    PinSetAdd(measured_[b].bits, static_cast<unsigned>(a));
  }
}

void TesterModel::SetVersion(const char (&version)[5]) { std::memcpy(version_, version, sizeof version_); }

void TesterModel::SetDsr(bool on) {
  if (dsr_ && !on) StopActivity();
  if (!dsr_ && on) {
    framesQueued_ = 0;
    dsrDropScheduled_ = false;
  }
  dsr_ = on;
}

bool TesterModel::Dsr() const { return dsr_; }

void TesterModel::SetDtr(bool on) {
  // The host closed the line: what it has not read is gone, and a command cut
  // off with it must not run into the next session's bytes.
  if (dtr_ && !on) StopActivity();
  dtr_ = on;
}

bool TesterModel::Dtr() const { return dtr_; }

UnitFaults& TesterModel::Faults() { return faults_; }

void TesterModel::SetLineSpeed(uint32_t baud) {
  baud_ = baud;
  byteNs_ = baud == 0 ? 0 : (kBitsPerByte * kNsPerSecond + baud - 1) / baud;
}

bool TesterModel::ProbeAt(uint64_t atMs, const PinSet& pins) {
  int i = 0;
  while (i < scriptSteps_ && script_[i].atMs < atMs) ++i;
  if (i < scriptSteps_ && script_[i].atMs == atMs) {
    script_[i].pins = pins;
    return true;
  }
  if (scriptSteps_ == kProbeScriptSteps) return false;
  for (int j = scriptSteps_; j > i; --j) script_[j] = script_[j - 1];
  script_[i] = ProbeStep{atMs, pins};
  ++scriptSteps_;
  return true;
}

const ConnectionRow (&TesterModel::ExpectedWiring() const)[kPinCount] { return expected_; }

void TesterModel::SetFrameLog(FrameLog* log) { log_ = log; }

uint32_t TesterModel::LostFrames() const { return lostFrames_; }

// --- host side ---

void TesterModel::HostBytes(const uint8_t* bytes, size_t n, uint64_t nowMs) {
  if (!dsr_) return;
  // Probe frames due before these bytes went out before them.
  AdvanceProbe(nowMs);
  for (size_t i = 0; i < n && dsr_; ++i) {
    if (!FeedByte(channel_, bytes[i])) continue;
    ResponseRecord record;
    while (TakeResponse(channel_.queue, record)) {
      if (log_ != nullptr) {
        const size_t len = record.frame[1] < 2 ? 2 : record.frame[1];
        const size_t size = len + 3 < kFrameBufferBytes ? len + 3 : kFrameBufferBytes;
        log_->HostFrame(record.frame, size);
      }
      HandleCommand(record.frame, nowMs);
    }
  }
}

void TesterModel::HandleCommand(const uint8_t (&frame)[kFrameBufferBytes], uint64_t nowMs) {
  const uint8_t c0 = frame[2];
  const uint8_t c1 = frame[3];
  const bool answers = !faults_.noAnswer;
  if (c0 == 'O') {
    // The only command with a single letter: the pin count follows it.
    if (answers) AnswerOneOnOne(c1, nowMs);
  } else if (c0 == 'S' && c1 == 'T') {
    if (answers) AnswerStatus(nowMs);
  } else if (c0 == 'P' && c1 == 'S') {
    if (answers) StartProbe(nowMs);
  } else if (c0 == 'P' && c1 == 'E') {
    probing_ = false;
  } else if (c0 == 'M' && c1 == 'R') {
    if (answers) AnswerMasterRead(nowMs);
  } else if (c0 == 'M' && c1 == 'T') {
    InitConnectionRows(transfer_);
    transferring_ = true;
  } else if (c0 == 'T' && c1 == 'D') {
    const uint8_t pin = frame[4];
    if (transferring_ && frame[1] == 0x11 && pin >= 1 && pin <= kPinCount)
      std::memcpy(transfer_[pin - 1].bits.bytes, &frame[5], kPinSetBytes);
  } else if (c0 == 'T' && c1 == 'E') {
    if (transferring_) std::memcpy(expected_, transfer_, sizeof expected_);
    transferring_ = false;
  } else if (c0 == 'W' && c1 == 'K') {
    if (answers) AnswerWorkTest(nowMs);
  }
  // Anything else is not a command of this unit and is ignored.
}

// --- answers ---

void TesterModel::AnswerStatus(uint64_t nowMs) {
  BeginAnswer(nowMs, 'S');
  uint8_t frame[kStatusFrameBytes] = {0, 0, 'S', 'T', 0, 0, 0, 0, 0, 0, 0};
  std::memcpy(&frame[5], version_, sizeof version_);
  SendFrame(frame, sizeof frame);
}

void TesterModel::AnswerOneOnOne(uint8_t n, uint64_t nowMs) {
  const int pins = n > kOneOnOnePins ? kOneOnOnePins : n;
  BeginAnswer(nowMs, 'O');
  for (int a = 0; a < pins; ++a) {
    PinSet straight{};
    PinSetAdd(straight, static_cast<unsigned>(a));
    PinSetAdd(straight, static_cast<unsigned>(a + kOneOnOnePins));
    if (!SameBits(measured_[a].bits, straight)) SendRow('O', static_cast<uint8_t>(a + 1), measured_[a].bits);
  }
  const int burst = answerDamaged_ ? faults_.burstFrames : 0;
  for (int i = 0; i < burst; ++i) {
    const int a = i % kOneOnOnePins;
    SendRow('O', static_cast<uint8_t>(a + 1), measured_[a].bits);
  }
  if (faults_.pinOutOfRange) SendRow('O', kOutOfRangePin, PinSet{});
  SendEnd('O');
}

void TesterModel::AnswerMasterRead(uint64_t nowMs) {
  BeginAnswer(nowMs, 'R');
  // Every row the host would not rebuild by itself, so that a master read back
  // and transferred again matches the cable it came from.
  for (int k = 0; k < kPinCount; ++k)
    if (!IsIdentityRow(measured_[k].bits, static_cast<unsigned>(k)))
      SendRow('R', static_cast<uint8_t>(k + 1), measured_[k].bits);
  if (faults_.pinOutOfRange) SendRow('R', kOutOfRangePin, PinSet{});
  SendEnd('R');
}

void TesterModel::AnswerWorkTest(uint64_t nowMs) {
  BeginAnswer(nowMs, 'W');
  for (int k = 0; k < kPinCount; ++k)
    if (!SameBits(measured_[k].bits, expected_[k].bits)) SendRow('W', static_cast<uint8_t>(k + 1), measured_[k].bits);
  const int burst = answerDamaged_ ? faults_.burstFrames : 0;
  for (int i = 0; i < burst; ++i) {
    const int k = i % kPinCount;
    SendRow('W', static_cast<uint8_t>(k + 1), measured_[k].bits);
  }
  if (faults_.pinOutOfRange) SendRow('W', kOutOfRangePin, PinSet{});
  SendEnd('W');
}

void TesterModel::StartProbe(uint64_t nowMs) {
  probing_ = true;
  BeginAnswer(nowMs, 'P');
  SendProbeState(answerDueMs_ * kNsPerMs);
}

uint64_t TesterModel::ProbeStepNs() const {
  // Never closer than a frame's time on the line; unpaced, no closer than a
  // millisecond, or a period of 0 would never end.
  const uint64_t least = byteNs_ == 0 ? kNsPerMs : kProbeFrameBytes * byteNs_;
  return Later(probePeriodMs_ * kNsPerMs, least);
}

void TesterModel::SendProbeState(uint64_t atNs) {
  uint8_t frame[kProbeFrameBytes] = {0, 0, 'P', 'D'};
  const PinSet reach = ProbeReachAt(atNs / kNsPerMs);
  std::memcpy(&frame[4], reach.bytes, kPinSetBytes);
  SendFrame(frame, sizeof frame);
  // Not before this one has left the line, even behind another answer.
  nextProbeNs_ = Later(atNs + ProbeStepNs(), queueEndNs_);
}

void TesterModel::AdvanceProbe(uint64_t nowMs) {
  const uint64_t nowNs = nowMs * kNsPerMs;
  if (!probing_ || nowNs < nextProbeNs_) return;
  const uint64_t step = ProbeStepNs();
  const uint64_t behind = (nowNs - nextProbeNs_) / step;
  if (behind > kProbeCatchUpFrames) nextProbeNs_ += (behind - kProbeCatchUpFrames) * step;
  while (probing_ && nextProbeNs_ <= nowNs) {
    answerDueMs_ = nextProbeNs_ / kNsPerMs;
    answerFirstFrame_ = false;
    answerDamaged_ = Damaged('P');
    SendProbeState(nextProbeNs_);
  }
}

PinSet TesterModel::ProbeReachAt(uint64_t atMs) const {
  PinSet reach{};
  for (int i = 0; i < scriptSteps_ && script_[i].atMs <= atMs; ++i) reach = script_[i].pins;
  return reach;
}

void TesterModel::StopActivity() {
  byteHead_ = byteCount_ = 0;
  chunkHead_ = chunkCount_ = 0;
  dsrDropScheduled_ = false;
  probing_ = false;
  transferring_ = false;
  channel_ = ResponseChannel{};
  queueEndNs_ = lineFreeNs_;
}

// --- frames on the line ---

void TesterModel::BeginAnswer(uint64_t nowMs, char letter) {
  answerDueMs_ = nowMs + faults_.firstFrameDelayMs;
  answerFirstFrame_ = true;
  answerDamaged_ = Damaged(letter);
}

bool TesterModel::Damaged(char letter) const { return faults_.faultAnswer == 0 || faults_.faultAnswer == letter; }

void TesterModel::SendRow(char letter, uint8_t pin, const PinSet& bits) {
  uint8_t frame[kRowFrameBytes] = {0, 0, static_cast<uint8_t>(letter), 'D', pin};
  std::memcpy(&frame[5], bits.bytes, kPinSetBytes);
  SendFrame(frame, sizeof frame);
}

void TesterModel::SendEnd(char letter) {
  if (answerDamaged_ && faults_.lostEnd) return;
  uint8_t frame[kShortFrameBytes] = {0, 0, static_cast<uint8_t>(letter), 'E'};
  SendFrame(frame, sizeof frame);
}

void TesterModel::SendFrame(uint8_t* frame, size_t n) {
  frame[0] = kStx;
  frame[1] = static_cast<uint8_t>(n - 3);
  frame[n - 2] = kEtx;
  frame[n - 1] = FrameChecksum(frame, static_cast<int>(n));
  const bool first = answerFirstFrame_;
  answerFirstFrame_ = false;
  if (first && faults_.unknownLetters) {
    uint8_t stray[kShortFrameBytes] = {kStx, 0x03, 'X', 'Z', kEtx, 0};
    stray[5] = FrameChecksum(stray, sizeof stray);
    PutFrameOnLine(stray, sizeof stray, false);
  }
  PutFrameOnLine(frame, n, first);
}

void TesterModel::PutFrameOnLine(const uint8_t* frame, size_t n, bool first) {
  if (dsrDropScheduled_) return;
  const int dropAfter = faults_.dsrDropAfterFrames;
  if (dropAfter >= 0 && framesQueued_ >= dropAfter) {
    dsrDropScheduled_ = Schedule(nullptr, 0, answerDueMs_, true);
    return;
  }

  const bool damaged = answerDamaged_;
  const bool cut = damaged && first;
  uint8_t block[kMaxBlockBytes];
  size_t size = 0;
  if (damaged && faults_.garbageBetweenFrames) {
    std::memcpy(block, kGarbage, sizeof kGarbage);
    size = sizeof kGarbage;
  }
  // Up to the ETX, less the STX or the last payload byte when they are lost.
  const size_t from = cut && faults_.lostStx ? 1 : 0;
  const size_t to = cut && faults_.lostByte ? n - 3 : n - 2;
  std::memcpy(&block[size], frame + from, to - from);
  size += to - from;
  if (damaged && faults_.badEtx) block[size++] = 0xFF;
  block[size++] = frame[n - 2];
  if (damaged && faults_.badChecksum) block[size++] = static_cast<uint8_t>(frame[n - 1] + 1);
  block[size++] = frame[n - 1];

  if (!Schedule(block, size, answerDueMs_, false)) {
    ++lostFrames_;
    return;
  }
  if (log_ != nullptr) log_->UnitFrame(frame, n);
  ++framesQueued_;
  if (dropAfter >= 0 && framesQueued_ >= dropAfter) dsrDropScheduled_ = Schedule(nullptr, 0, lastDueMs_, true);
}

bool TesterModel::Schedule(const uint8_t* bytes, size_t n, uint64_t dueMs, bool dsrOff) {
  const uint32_t split = faults_.splitChunk;
  const size_t piece = split == 0 || split >= n ? n : split;
  const size_t pieces = n == 0 ? 1 : (n + piece - 1) / piece;
  if (byteCount_ + n > kScheduleBytes || chunkCount_ + pieces > kScheduleChunks) return false;

  for (size_t i = 0; i < pieces; ++i) {
    const size_t length = n == 0 ? 0 : (i + 1 < pieces ? piece : n - i * piece);
    const uint64_t due = i == 0 ? Later(dueMs, lastDueMs_) : lastDueMs_ + faults_.chunkGapMs;
    for (size_t j = 0; j < length; ++j) bytes_[(byteHead_ + byteCount_ + j) % kScheduleBytes] = bytes[i * piece + j];
    byteCount_ += length;
    chunks_[(chunkHead_ + chunkCount_) % kScheduleChunks] =
        Chunk{due, static_cast<uint16_t>(length), dsrOff, split != 0 && !dsrOff, !dsrOff && i + 1 == pieces};
    ++chunkCount_;
    lastDueMs_ = due;
    queueEndNs_ = Later(due * kNsPerMs, queueEndNs_) + length * byteNs_;
  }
  return true;
}

size_t TesterModel::TakeUnitBytes(uint8_t* out, size_t capacity, uint64_t nowMs) {
  if (!dsr_) return 0;
  AdvanceProbe(nowMs);
  const uint64_t nowNs = nowMs * kNsPerMs;
  size_t written = 0;
  while (chunkCount_ > 0 && written < capacity) {
    Chunk& chunk = chunks_[chunkHead_];
    // One byte at a time on the line: the next starts once it is due and the
    // one before has left.
    const uint64_t startNs = Later(chunk.dueMs * kNsPerMs, lineFreeNs_);
    if (startNs > nowNs) break;
    if (chunk.dsrOff) {
      dsr_ = false;
      StopActivity();
      break;
    }
    // A piece of a split frame goes out on its own, as a separate read.
    if (chunk.alone && written > 0) break;
    size_t take = chunk.length;
    if (take > capacity - written) take = capacity - written;
    if (byteNs_ > 0 && (nowNs - startNs) / byteNs_ < take) take = (nowNs - startNs) / byteNs_;
    if (take == 0) break;
    for (size_t j = 0; j < take; ++j) out[written + j] = bytes_[(byteHead_ + j) % kScheduleBytes];
    byteHead_ = (byteHead_ + take) % kScheduleBytes;
    byteCount_ -= take;
    written += take;
    lineFreeNs_ = startNs + take * byteNs_;
    chunk.length = static_cast<uint16_t>(chunk.length - take);
    if (chunk.length > 0) break;
    const bool alone = chunk.alone;
    if (chunk.endsFrame) ++sentFrames_;
    chunkHead_ = (chunkHead_ + 1) % kScheduleChunks;
    --chunkCount_;
    if (alone) break;
  }
  return written;
}

uint64_t TesterModel::NextDueMs() const {
  uint64_t next = kNever;
  if (chunkCount_ > 0) {
    const Chunk& chunk = chunks_[chunkHead_];
    const uint64_t startNs = Later(chunk.dueMs * kNsPerMs, lineFreeNs_);
    next = CeilMs(startNs + (chunk.dsrOff ? 0 : byteNs_));
  }
  if (probing_ && CeilMs(nextProbeNs_) < next) next = CeilMs(nextProbeNs_);
  return next;
}
