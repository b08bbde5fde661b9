#pragma once
// The simulated tester unit: the unit's side of every exchange, for a cable
// "plugged in" as 104 measured connection rows, with faults on request. One
// portable model serves the native tests (through the in-memory port) and the
// Windows tests and demo (through unitsim on a pseudo-terminal).
//
// Time is passed in by the caller in milliseconds, so tests run without sleeps
// and unitsim uses the clock.
//
// How this unit behaves where the host cannot tell:
// - A measured row is the plugged row as given, own pin included: an unwired
//   pin measures as its own bit alone. Rows are sent as the unit measures them.
// - 1 on 1: a row for each CN-A pin p (1..n, n held to 50) whose row is not
//   exactly {A p, B p}. Master read: a row for each pin whose row is not
//   exactly its own bit, so that reading a master and transferring it back
//   round-trips. Work test: a row for each pin whose row differs from the
//   expected wiring.
// - Probe: a ProbeState at once, then one every ProbePeriodMs(), each the
//   pins the script reaches at that moment, until ProbeFinish. A ProbeState
//   never starts before the one before it has left the line, so a period of 0
//   streams them back to back at the line speed; unpaced, the period is held
//   to at least 1 ms.
// - Line speed: unpaced by default, every answer is due whole at the time of
//   the command, so a long master read arrives as one burst. Paced
//   (SetLineSpeed), the line is a serializer of 10-bit bytes: a byte starts
//   when it is due or when the line is free, whichever is later, and is handed
//   out once its last bit has left.
// - DSR off: host bytes are not even read, nothing is sent, pending output and
//   any probe stream or master transfer in progress are dropped.
// - DTR dropping (the host closing the line) drops pending output, ends the
//   probe stream, abandons a half-received transfer and resets the decoder;
//   commands are answered whatever the DTR state, and the expected wiring stays.
// - Pending output is bounded: a frame that does not fit the schedule is lost
//   whole and counted in LostFrames().
// - The model allocates nothing: every buffer is part of the object.
#include <cstddef>
#include <cstdint>

#include "cabledata/cable_set.h"
#include "link/frame_codec.h"

// Each fault is deterministic, so a test knows exactly which bytes come.
// The damage faults (marked *) hit only the answers faultAnswer selects; a
// probe stream is one answer, its first ProbeState the answer's first frame.
struct UnitFaults {
  bool noAnswer = false;          // commands are taken (a transfer is still kept) but never answered
  uint32_t firstFrameDelayMs = 0; // the first frame of each answer comes this late; the rest follow it
  int dsrDropAfterFrames = -1;    // DSR goes off after this many frames sent since DSR last came on (-1 never)
  bool garbageBetweenFrames = false;  // * noise bytes (never an STX) before every frame
  uint32_t splitChunk = 0;        // deliver each frame in chunks of this size (0 = whole), one chunk per take
  uint32_t chunkGapMs = 0;        // each chunk this long after the one before
  bool badChecksum = false;       // * every frame: a wrong SUM byte, then the right one
  bool badEtx = false;            // * every frame: a wrong byte where the ETX belongs, then the ETX
  bool lostStx = false;           // * the answer's first frame goes without its STX
  bool lostByte = false;          // * the answer's first frame loses the byte before its ETX
  bool lostEnd = false;           // * the answer's end record (OE, RE, WE) is never sent
  bool unknownLetters = false;    // an extra frame with letters no command draws before each answer
  bool pinOutOfRange = false;     // row answers carry pin number 0xEE in one extra row before the end
  int burstFrames = 0;            // * answers of a 1 on 1 or work test carry this many extra rows
  // The answers the damage faults hit, by the first letter of their frames:
  // 'S' status, 'O' 1 on 1, 'P' probe stream, 'R' master read, 'W' work test;
  // 0 every answer.
  char faultAnswer = 0;
};

class TesterModel {
 public:
  static constexpr uint32_t kDefaultProbePeriodMs = 50;
  static constexpr int kProbeScriptSteps = 64;
  static constexpr size_t kScheduleBytes = 8192;
  static constexpr size_t kScheduleChunks = 4096;
  static constexpr uint8_t kOutOfRangePin = 0xEE;
  static constexpr uint8_t kGarbage[4] = {0x00, 0xFF, 0x41, 0x03};

  TesterModel();
  TesterModel(const TesterModel&) = delete;
  TesterModel& operator=(const TesterModel&) = delete;

  // --- what the unit holds ---
  void Plug(const ConnectionRow (&rows)[kPinCount]);  // the measured cable
  void PlugNothing();                                  // every pin alone
  void PlugStraight(int pins);                         // A p <-> B p for p = 1..pins (held to 0..50)
  void SetVersion(const char (&version)[5]);           // four ASCII characters, e.g. "1234"; default "1000"
  void SetDsr(bool on);                                // on by default
  bool Dsr() const;
  void SetDtr(bool on);                                // the host's DTR; off by default
  bool Dtr() const;
  UnitFaults& Faults();
  // Bit/s of the unit's output, 0 unpaced (the default). Meant to be set while
  // the line is quiet: bytes already queued keep their place in the stream.
  void SetLineSpeed(uint32_t baud);
  uint32_t LineSpeed() const { return baud_; }
  // Time from one ProbeState to the next; 0 back to back. Default 50 ms.
  void SetProbePeriodMs(uint32_t ms) { probePeriodMs_ = ms; }
  uint32_t ProbePeriodMs() const { return probePeriodMs_; }
  // The probe: from time `atMs`, the probe reaches `pins` (until a later step).
  // Before the first step it reaches nothing. A step at a time already
  // scripted replaces it. False when the script is full.
  bool ProbeAt(uint64_t atMs, const PinSet& pins);
  // Forgets every scripted step: the probe reaches nothing from now on.
  void ClearProbeScript() { scriptSteps_ = 0; }
  // The expected wiring from the last master transfer (kept across re-opens);
  // identity rows until the first transfer.
  const ConnectionRow (&ExpectedWiring() const)[kPinCount];

  // --- the serial line ---
  // Bytes the host sent.
  void HostBytes(const uint8_t* bytes, size_t n, uint64_t nowMs);
  // Bytes the unit sends that are due by nowMs; returns how many were written.
  size_t TakeUnitBytes(uint8_t* out, size_t capacity, uint64_t nowMs);
  // Earliest time more output may become due (never later than it really
  // does), or UINT64_MAX when nothing waits.
  uint64_t NextDueMs() const;
  // Frames that did not fit the output schedule and were never sent.
  uint32_t LostFrames() const;
  // Unit frames handed out whole so far, damaged and stray ones included.
  uint32_t SentFrames() const { return sentFrames_; }

  // Every frame in both directions, for logs and assertions. Unit frames are
  // logged as the unit meant them, when they are queued: a frame damaged by a
  // fault is logged whole, and the stray bytes of the garbage, ETX and SUM
  // faults are not frames and are not logged. A lost end record is not sent,
  // so not logged.
  class FrameLog {
   public:
    virtual void HostFrame(const uint8_t* frame, size_t n) = 0;
    virtual void UnitFrame(const uint8_t* frame, size_t n) = 0;

   protected:
    ~FrameLog() = default;
  };
  void SetFrameLog(FrameLog* log);

 private:
  static constexpr size_t kMaxFrameBytes = 20;
  // Longest block put on the line for one frame: garbage, frame, and the
  // stray ETX and SUM bytes.
  static constexpr size_t kMaxBlockBytes = sizeof kGarbage + kMaxFrameBytes + 2;

  struct Chunk {
    uint64_t dueMs;
    uint16_t length;  // 0 with dsrOff: the moment DSR drops
    bool dsrOff;
    bool alone;       // a piece of a split frame: handed out by itself
    bool endsFrame;   // the last piece of a frame
  };
  struct ProbeStep {
    uint64_t atMs;
    PinSet pins;
  };

  void HandleCommand(const uint8_t (&frame)[kFrameBufferBytes], uint64_t nowMs);
  void AnswerStatus(uint64_t nowMs);
  void AnswerOneOnOne(uint8_t n, uint64_t nowMs);
  void AnswerMasterRead(uint64_t nowMs);
  void AnswerWorkTest(uint64_t nowMs);
  void StartProbe(uint64_t nowMs);
  void StopActivity();  // drops output, probe stream and a half-received transfer

  // An answer is a sequence of frames: BeginAnswer, then SendFrame each.
  void BeginAnswer(uint64_t nowMs, char letter);
  void SendRow(char letter, uint8_t pin, const PinSet& bits);
  void SendEnd(char letter);
  void SendFrame(uint8_t* frame, size_t n);  // fills LEN, ETX and SUM
  void PutFrameOnLine(const uint8_t* frame, size_t n, bool first);
  bool Schedule(const uint8_t* bytes, size_t n, uint64_t dueMs, bool dsrOff);
  bool Damaged(char letter) const;

  uint64_t ProbeStepNs() const;  // the least time from one ProbeState to the next
  void SendProbeState(uint64_t atNs);
  void AdvanceProbe(uint64_t nowMs);
  PinSet ProbeReachAt(uint64_t atMs) const;

  ConnectionRow measured_[kPinCount];
  ConnectionRow expected_[kPinCount];
  ConnectionRow transfer_[kPinCount];  // rows of a transfer still being received
  bool transferring_ = false;
  char version_[4] = {'1', '0', '0', '0'};
  bool dsr_ = true;
  bool dtr_ = false;
  UnitFaults faults_;
  FrameLog* log_ = nullptr;

  ResponseChannel channel_;  // the host's frames, decoded as the program decodes the unit's

  ProbeStep script_[kProbeScriptSteps];
  int scriptSteps_ = 0;
  bool probing_ = false;
  uint32_t probePeriodMs_ = kDefaultProbePeriodMs;
  uint64_t nextProbeNs_ = 0;

  // The answer being built.
  uint64_t answerDueMs_ = 0;
  bool answerFirstFrame_ = false;
  bool answerDamaged_ = false;

  // Frames queued since DSR last came on, and whether the DSR drop they lead
  // to is already scheduled.
  int framesQueued_ = 0;
  bool dsrDropScheduled_ = false;
  uint32_t sentFrames_ = 0;

  // The line, in nanoseconds so that a byte's fraction of a millisecond adds
  // up: when the last byte handed out left it, and when the last byte queued
  // will have. A byte time is rounded up, so the line is never faster than
  // its speed.
  uint32_t baud_ = 0;
  uint64_t byteNs_ = 0;
  uint64_t lineFreeNs_ = 0;
  uint64_t queueEndNs_ = 0;

  // Output schedule: a ring of bytes and a ring of chunks, each chunk a run of
  // bytes due together; due times never decrease along the ring.
  uint8_t bytes_[kScheduleBytes];
  size_t byteHead_ = 0;
  size_t byteCount_ = 0;
  Chunk chunks_[kScheduleChunks];
  size_t chunkHead_ = 0;
  size_t chunkCount_ = 0;
  uint64_t lastDueMs_ = 0;
  uint32_t lostFrames_ = 0;
};
