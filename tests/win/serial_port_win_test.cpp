// The Win32 COM port and the window notices against unitsim. Run through
// tests/win/with_unitsim.sh, which maps COM1 to unitsim's pseudo-terminal and
// COM9 to a device that does not exist, and tells the control port in
// PINVORO_UNITSIM_PORT.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "link/commands.h"
#include "link/link_notifier_win.h"
#include "link/serial_link.h"
#include "link/serial_port_win.h"
#include "support/unitsim_client_win.h"

namespace {

// ---- the window that owns the link ---------------------------------------

class RecordingErrors final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { codes.push_back(code); }
  std::vector<uint16_t> codes;
};

class CollectingSink final : public ResponseSink {
 public:
  explicit CollectingSink(ResponseChannel& channel) : channel_(channel) {}
  void FrameQueued() override { DrainResponses(); }
  void DrainResponses() override {
    ResponseRecord record;
    while (TakeResponse(channel_.queue, record)) records.push_back(record);
  }
  std::vector<ResponseRecord> records;

 private:
  ResponseChannel& channel_;
};

// A message-only window: counts the link's notices and, once given the link,
// decodes what arrives as the program's windows do.
class LinkWindow {
 public:
  LinkWindow() {
    static const ATOM atom = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = &LinkWindow::Proc;
      wc.hInstance = GetModuleHandleW(nullptr);
      wc.lpszClassName = L"PinvoroSerialTestWindow";
      return RegisterClassW(&wc);
    }();
    hwnd = CreateWindowExW(0, MAKEINTATOM(atom), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, GetModuleHandleW(nullptr),
                           nullptr);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  }
  ~LinkWindow() { DestroyWindow(hwnd); }
  LinkWindow(const LinkWindow&) = delete;
  LinkWindow& operator=(const LinkWindow&) = delete;

  void Decode(SerialLink& link) { link_ = &link; }

  // Handles messages until done() holds or ms have passed.
  bool PumpUntil(const std::function<bool()>& done, DWORD ms) {
    const ULONGLONG deadline = GetTickCount64() + ms;
    for (;;) {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      if (done()) return true;
      if (GetTickCount64() >= deadline) return false;
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
  }

  bool HasRecord(ResponseKind kind) const {
    for (const ResponseRecord& r : sink.records) {
      if (r.kind == kind) return true;
    }
    return false;
  }

  HWND hwnd;
  int received = 0;
  int sent = 0;
  ResponseChannel channel{};
  CollectingSink sink{channel};

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<LinkWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && message == WM_LINK_RECEIVED) {
      ++self->received;
      if (self->link_ != nullptr) DecodeReceivedBytes(*self->link_, self->channel, self->sink);
      return 0;
    }
    if (self != nullptr && message == WM_LINK_SENT) {
      ++self->sent;
      return 0;
    }
    return DefWindowProcW(hwnd, message, wParam, lParam);
  }

  SerialLink* link_ = nullptr;
};

// ---- helpers ----------------------------------------------------------------

HANDLE OpenRaw(uint8_t number) {
  wchar_t name[16];
  FormatPortName(number, name);
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

DCB StateOf(HANDLE port) {
  DCB state{};
  state.DCBlength = sizeof state;
  EXPECT_TRUE(GetCommState(port, &state));
  return state;
}

std::string Label(unsigned pin) {
  const char side = pin < 50 ? 'A' : pin < 100 ? 'B' : 'C';
  const unsigned number = pin < 50 ? pin + 1 : pin < 100 ? pin - 49 : pin - 99;
  char text[4] = {side, static_cast<char>('0' + number / 10), static_cast<char>('0' + number % 10), '\0'};
  return text;
}

class SerialPortTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(unit.Connected()) << "run through tests/win/with_unitsim.sh (PINVORO_UNITSIM_PORT)";
    for (const char* command : {"dsr on", "clear faults", "plug nothing", "version 1000", "clear log"}) {
      ASSERT_EQ(unit.Do(command), "ok") << command;
    }
  }

  UnitSim unit;
  RecordingErrors errors;
  Win32SerialPort port;
  SerialLink link{port, errors};
  LinkWindow window;
  WindowNotifier notifier{window.hwnd};
};

// ---- tests ---------------------------------------------------------------------

TEST(PortName, IsTheDeviceNameOfThePortNumber) {
  wchar_t name[16];
  FormatPortName(1, name);
  EXPECT_STREQ(name, L"\\\\.\\COM1");
  FormatPortName(12, name);
  EXPECT_STREQ(name, L"\\\\.\\COM12");
  FormatPortName(255, name);
  EXPECT_STREQ(name, L"\\\\.\\COM255");
}

TEST_F(SerialPortTest, OpenAppliesTheLineSettingsAndCloseRestoresThem) {
  HANDLE raw = OpenRaw(1);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  DCB before = StateOf(raw);
  before.BaudRate = 9600;
  before.StopBits = ONESTOPBIT;
  ASSERT_TRUE(SetCommState(raw, &before));
  CloseHandle(raw);

  ASSERT_TRUE(port.Open(PortSettings{1, 7, 2, 2, 19200}));
  COMMTIMEOUTS timeouts{};
  ASSERT_TRUE(GetCommTimeouts(port.Handle(), &timeouts));
  EXPECT_EQ(timeouts.ReadIntervalTimeout, 2u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutMultiplier, 2u);
  EXPECT_EQ(timeouts.ReadTotalTimeoutConstant, 100u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutMultiplier, 2u);
  EXPECT_EQ(timeouts.WriteTotalTimeoutConstant, 100u);
  // A pseudo-terminal always reads back 8 data bits without parity, so the
  // speed and the stop bits are what shows here.
  const DCB open = StateOf(port.Handle());
  EXPECT_EQ(open.BaudRate, 19200u);
  EXPECT_EQ(open.StopBits, TWOSTOPBITS);

  port.Close(true);
  EXPECT_FALSE(port.IsOpen());
  raw = OpenRaw(1);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE) << "the port must be free after the close";
  const DCB after = StateOf(raw);
  CloseHandle(raw);
  EXPECT_EQ(after.BaudRate, 9600u);
  EXPECT_EQ(after.StopBits, ONESTOPBIT);
}

// Only the exit path closes without restoring; should the exit be cancelled,
// the next open takes the port back rather than failing against itself.
TEST_F(SerialPortTest, PortKeptByACloseWithoutRestoreIsReopened) {
  ASSERT_TRUE(port.Open(kDefaultPortSettings));
  port.Close(false);
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(OpenRaw(1), INVALID_HANDLE_VALUE) << "the port is still held";
  ASSERT_TRUE(port.Open(kDefaultPortSettings));
  port.Close(true);
  const HANDLE raw = OpenRaw(1);
  EXPECT_NE(raw, INVALID_HANDLE_VALUE);
  CloseHandle(raw);
}

TEST_F(SerialPortTest, RejectedSettingsLeaveThePortFreeAndUnchanged) {
  HANDLE raw = OpenRaw(1);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  const DCB before = StateOf(raw);
  CloseHandle(raw);

  EXPECT_FALSE(port.Open(PortSettings{1, 9, 0, 0, 38400}));  // nine data bits: no driver takes them
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(link.OpenLink(notifier, PortSettings{1, 9, 0, 0, 38400}));
  EXPECT_EQ(errors.codes, std::vector<uint16_t>{kErrorPortOpen});
  EXPECT_FALSE(link.IsOpen());

  raw = OpenRaw(1);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE) << "a failed open must not keep the port";
  const DCB after = StateOf(raw);
  CloseHandle(raw);
  EXPECT_EQ(after.BaudRate, before.BaudRate);
  EXPECT_EQ(after.StopBits, before.StopBits);
}

TEST_F(SerialPortTest, LinkRaisesDtrWhileOpenAndReadsTheUnitsDsr) {
  ASSERT_EQ(unit.Do("dtr?"), "ok off");
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  EXPECT_EQ(unit.Do("dtr?"), "ok on");
  EXPECT_TRUE(link.IsUnitReady());

  ASSERT_EQ(unit.Do("dsr off"), "ok");
  EXPECT_FALSE(link.IsUnitReady());
  ASSERT_EQ(unit.Do("dsr on"), "ok");
  EXPECT_TRUE(link.IsUnitReady());

  link.CloseLink(true);
  EXPECT_EQ(unit.Do("dtr?"), "ok off");
  EXPECT_TRUE(errors.codes.empty());
}

TEST_F(SerialPortTest, UnitSwitchedOffStillOpensButIsNotReady) {
  ASSERT_EQ(unit.Do("dsr off"), "ok");
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  EXPECT_FALSE(link.IsUnitReady());
  link.CloseLink(true);
  EXPECT_TRUE(errors.codes.empty());
}

TEST_F(SerialPortTest, StatusQueryRoundTripThroughTheWorkersAndWindowMessages) {
  ASSERT_EQ(unit.Do("version 4321"), "ok");
  window.Decode(link);
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  ASSERT_TRUE(link.QueueTransmit(kStatusQuery, sizeof kStatusQuery));
  EXPECT_TRUE(window.PumpUntil([&] { return window.HasRecord(StatusReply); }, 5000));
  link.CloseLink(true);

  ASSERT_EQ(window.sink.records.size(), 1u);
  char16_t version[6];
  StatusReplyVersion(window.sink.records[0], version);
  EXPECT_EQ(std::u16string(version), u"4.321");
  EXPECT_GE(window.sent, 1);
  EXPECT_GE(window.received, 1);
  const std::vector<std::string> log = unit.Reply("log");
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[0], "host 02 03 53 54 03 AD");
  EXPECT_EQ(log[1].rfind("unit 02 08 53 54", 0), 0u) << log[1];
}

// Pin sets hold every byte value, including XON, XOFF, CR, LF, STX and ETX; a
// terminal setting left cooked on the line would eat or change them.
TEST_F(SerialPortTest, EveryByteValueCrossesTheLineUnchanged) {
  const char* const nets[] = {"A01,A05", "A09,A10,A13", "A25,A27,A28", "A34,A36", "A41,A42", "B01,C04",
                              "B08,B09,B10,B11,B12,B13,B14,B15,B16"};
  ConnectionRow rows[kPinCount];
  InitConnectionRows(rows);
  std::string plug = "plug nets";
  for (const char* net : nets) {
    plug += ' ';
    plug += net;
    std::vector<unsigned> pins;
    for (const char* p = net; *p != '\0'; p += (p[3] == ',' ? 4 : 3)) {
      const unsigned number = static_cast<unsigned>((p[1] - '0') * 10 + (p[2] - '0'));
      pins.push_back(p[0] == 'A' ? number - 1 : p[0] == 'B' ? number + 49 : number + 99);
    }
    for (unsigned a : pins) {
      for (unsigned b : pins) PinSetAdd(rows[a].bits, b);
    }
  }

  window.Decode(link);
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  // Host to unit: the wiring as a master transfer.
  static uint8_t transfer[kMasterTransferMaxBytes];
  const int n = BuildMasterTransfer(rows, transfer);
  ASSERT_TRUE(link.QueueTransmit(transfer, static_cast<uint32_t>(n)));
  ASSERT_TRUE(window.PumpUntil([&] { return window.sent >= 1; }, 5000));
  std::vector<std::string> want;
  for (unsigned p = 0; p < kPinCount; ++p) {
    if (PinSetCount(rows[p].bits) == 1) continue;
    std::string line = Label(p) + ":";
    for (unsigned q = 0; q < kPinCount; ++q) {
      if (!PinSetHas(rows[p].bits, q)) continue;
      line += ' ';
      line += Label(q);
    }
    want.push_back(line);
  }
  want.push_back("ok");
  std::vector<std::string> expected;
  window.PumpUntil([&] { return (expected = unit.Reply("expected")) == want; }, 3000);
  EXPECT_EQ(expected, want);

  // Unit to host: the same wiring read back as master rows.
  ASSERT_EQ(unit.Do(plug), "ok");
  ASSERT_TRUE(link.QueueTransmit(kMasterRead, sizeof kMasterRead));
  EXPECT_TRUE(window.PumpUntil([&] { return window.HasRecord(MasterEnd); }, 5000));
  link.CloseLink(true);
  ConnectionRow read[kPinCount];
  InitConnectionRows(read);
  for (const ResponseRecord& r : window.sink.records) {
    if (r.kind != MasterRow) continue;
    const unsigned pin = r.frame[kRecordPinNumber - 1];
    ASSERT_TRUE(pin >= 1 && pin <= kPinCount);
    std::memcpy(read[pin - 1].bits.bytes, r.frame + kRecordPinSet - 1, kPinSetBytes);
  }
  for (unsigned p = 0; p < kPinCount; ++p) {
    EXPECT_EQ(std::memcmp(read[p].bits.bytes, rows[p].bits.bytes, kPinSetBytes), 0) << Label(p);
  }
}

TEST_F(SerialPortTest, PortsThatCannotBeOpenedReport1025) {
  // COM9 names a device that does not exist; COM200 is not mapped at all.
  for (uint8_t number : {uint8_t{9}, uint8_t{200}}) {
    errors.codes.clear();
    EXPECT_FALSE(link.OpenLink(notifier, PortSettings{number, 8, 0, 0, 38400})) << int{number};
    EXPECT_EQ(errors.codes, std::vector<uint16_t>{kErrorPortOpen}) << int{number};
    EXPECT_FALSE(link.IsOpen());
  }
  EXPECT_EQ(window.received + window.sent, 0);
}

TEST_F(SerialPortTest, PortHeldByAnotherHandleCannotBeOpened) {
  HANDLE raw = OpenRaw(1);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(link.OpenLink(notifier, kDefaultPortSettings));
  EXPECT_EQ(errors.codes, std::vector<uint16_t>{kErrorPortOpen});
  CloseHandle(raw);

  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  Win32SerialPort second;
  EXPECT_FALSE(second.Open(kDefaultPortSettings)) << "the open link holds the port";
  EXPECT_EQ(OpenRaw(1), INVALID_HANDLE_VALUE);
  link.CloseLink(true);
  EXPECT_TRUE(second.Open(kDefaultPortSettings)) << "the closed link let go of the port";
  second.Close(true);
}

// The workers block in SendMessageW while the window thread is busy; the
// close must serve them rather than wait out its 10 s per worker.
TEST_F(SerialPortTest, CloseWhileNoticesArePendingDoesNotStall) {
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  ASSERT_TRUE(link.QueueTransmit(kStatusQuery, sizeof kStatusQuery));
  Sleep(500);  // no messages handled: the transmit worker is stuck in its notice, the receive worker too
  ASSERT_EQ(window.sent + window.received, 0);

  const ULONGLONG start = GetTickCount64();
  link.CloseLink(true);
  const ULONGLONG took = GetTickCount64() - start;
  EXPECT_LT(took, 2000u);
  EXPECT_GE(window.sent, 1) << "the pending notice was handled during the close";
  EXPECT_FALSE(link.IsOpen());

  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings)) << "both workers ended and the port was let go";
  link.CloseLink(true);
  EXPECT_TRUE(errors.codes.empty());
}

}  // namespace
