// Whole exchanges as the program runs them: the link's real workers, the
// in-memory port and the simulated unit's model on the other end, the window
// side decoding every "received" notice and taking the queued records. What
// each answer holds is the model's business (tester_model_test); here the
// line between them cuts the frames anywhere, and the window must not notice
// (what damage does is the panel's business: damage_test).
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "link/commands.h"
#include "link/frame_codec.h"
#include "link/serial_link.h"
#include "sim/tester_model.h"
#include "support/memory_serial_port.h"
#include "support/model_unit.h"
#include "support/sync_notifier.h"
#include "support/unit_frames.h"

namespace {

class FailOnError final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { ADD_FAILURE() << "error box " << code; }
};

// The window that owns the link: each "frame queued" notice, handled after the
// decoding that posted it, takes what is unread at that moment.
class Window final : public ResponseSink {
 public:
  void FrameQueued() override { ++posted_; }
  // A full queue is taken before the decoder goes on.
  void DrainResponses() override { TakeUnread(); }
  void DispatchPosted() {
    for (; posted_ > 0; --posted_) TakeUnread();
  }

  ResponseChannel channel{};
  std::vector<FrameBytes> frames;
  ResponseKind lastKind = UnknownResponse;

 private:
  void TakeUnread() {
    const int n = channel.queue.unreadCount;
    ResponseRecord r;
    for (int i = 0; i < n && TakeResponse(channel.queue, r); ++i) {
      frames.push_back(FrameOf(r));
      lastKind = static_cast<ResponseKind>(r.kind);
    }
  }
  int posted_ = 0;
};

// A link on the in-memory port with the model at the far end. Declared so
// that the link goes first and the unit last.
struct ExchangeRig {
  // One exchange on a link opened for it, as the program starts one: the
  // queue cleared, the command queued and the response flag set. Runs until
  // the end record has been taken.
  void Exchange(const uint8_t* command, uint32_t n, ResponseKind end) {
    ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
    ClearResponses(window.channel);
    window.channel.ResponsePending = 1;
    ASSERT_TRUE(link.QueueTransmit(command, n));
    EXPECT_TRUE(notifier.ServeUntil([&] { return window.lastKind == end; }, 3000)) << "no end record";
    window.lastKind = UnknownResponse;
    EXPECT_EQ(link.Damage(), 0u);
    link.CloseLink(true);
  }

  ModelUnit unit;
  MemorySerialPort port{unit};
  FailOnError errors;
  Window window;
  uint32_t bytesTaken = 0;  // every byte the window took from the receive ring
  SyncNotifier notifier{[this](LinkNotice notice) {
    if (notice != LinkNotice::kReceived) return;
    // The receive worker waits in this notice, so the ring cannot grow here.
    bytesTaken += link.ReceivedCount();
    DecodeReceivedBytes(link, window.channel, window);
    window.DispatchPosted();
  }};
  SerialLink link{port, errors};
};

struct LineFault {
  const char* name;
  void (*apply)(UnitFaults&);
};

// Across notices and open/close cycles alike, the window sees exactly the
// frames a tester unit sends for the cable, written out here by hand.
TEST(LinkExchange, SplitFramesChangeNothingTheWindowSees) {
  const LineFault faults[] = {
      {"clean", [](UnitFaults&) {}},
      {"split", [](UnitFaults& f) { f.splitChunk = 3; }},
      {"split, with gaps",
       [](UnitFaults& f) {
         f.splitChunk = 4;
         f.chunkGapMs = 2;
       }},
  };
  Rows cable;
  cable.Net({A(1), B(1)}).Net({A(2), B(2), C(1)}).Net({A(10), A(11)}).Net({A(3), B(4)}).Net({A(4), B(3)});
  uint8_t start[kOneOnOneStartBytes];
  BuildOneOnOneStart(5, start);
  std::vector<FrameBytes> expected = {StatusFrame("1000")};
  for (const FrameBytes& f : Answer('O', cable, {A(2), A(3), A(4), A(5)})) expected.push_back(f);
  for (const FrameBytes& f :
       Answer('R', cable, {A(1), A(2), A(3), A(4), A(10), A(11), B(1), B(2), B(3), B(4), C(1)}))
    expected.push_back(f);

  uint32_t cleanBytes = 0;
  int cleanNotices = 0;
  for (const LineFault& fault : faults) {
    SCOPED_TRACE(fault.name);
    const auto owned = std::make_unique<ExchangeRig>();
    ExchangeRig& rig = *owned;
    const UnitFaults f = rig.unit.With([&](TesterModel& m) {
      m.Plug(cable.rows);
      fault.apply(m.Faults());
      return m.Faults();
    });
    rig.Exchange(kStatusQuery, sizeof kStatusQuery, StatusReply);
    rig.Exchange(start, sizeof start, OneOnOneEnd);
    rig.Exchange(kMasterRead, sizeof kMasterRead, MasterEnd);
    EXPECT_EQ(rig.window.frames, expected);
    EXPECT_EQ(rig.window.channel.dropped, 0u);
    if (cleanBytes == 0) {
      cleanBytes = rig.bytesTaken;
      cleanNotices = rig.notifier.received;
      continue;
    }
    // And the fault did reach the window.
    EXPECT_EQ(rig.bytesTaken, cleanBytes);
    if (f.splitChunk != 0) {
      EXPECT_GT(rig.notifier.received, cleanNotices) << "a frame came in pieces";
    }
  }
}

}  // namespace
