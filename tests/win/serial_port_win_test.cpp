// The Win32 COM port and the window notices against unitsim. Run through
// tests/win/with_unitsim.sh, which maps COM1 to unitsim's pseudo-terminal and
// COM9 to a device that does not exist, and tells the control port in
// PINVORO_UNITSIM_PORT.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "link/commands.h"
#include "link/link_notifier_win.h"
#include "link/serial_link.h"
#include "link/serial_port_win.h"
#include "support/memory_file_system.h"
#include "support/unitsim_client_win.h"

namespace {

// A message-only window that decodes what the link's notices announce, as the
// program's windows do, and keeps the records. One at a time.
class LinkWindow final : public ResponseSink {
 public:
  explicit LinkWindow(SerialLink& link) : link_(link) {
    current_ = this;
    hwnd = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&LinkWindow::Proc));
  }
  ~LinkWindow() { DestroyWindow(hwnd); }

  void FrameQueued() override { DrainResponses(); }
  void DrainResponses() override {
    for (ResponseRecord r; TakeResponse(channel.queue, r);) records.push_back(r);
  }
  // Handles messages until a record of the kind came; false after 5 s.
  bool PumpUntil(ResponseKind kind) {
    const ULONGLONG deadline = GetTickCount64() + 5000;
    while (std::none_of(records.begin(), records.end(), [&](const ResponseRecord& r) { return r.kind == kind; })) {
      if (GetTickCount64() > deadline) return false;
      for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) DispatchMessageW(&msg);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return true;
  }

  HWND hwnd;
  int notices = 0;
  std::vector<ResponseRecord> records;
  ResponseChannel channel{};

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_LINK_RECEIVED && message != WM_LINK_SENT) return DefWindowProcW(hwnd, message, wParam, lParam);
    ++current_->notices;
    if (message == WM_LINK_RECEIVED) DecodeReceivedBytes(current_->link_, current_->channel, *current_);
    return 0;
  }
  static inline LinkWindow* current_ = nullptr;
  SerialLink& link_;
};

HANDLE OpenRaw(uint8_t number) {
  wchar_t name[16];
  FormatPortName(number, name);
  return CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
}

// The speed and stop bits COM1 has while nobody holds it; a pseudo-terminal
// always reads back 8 data bits without parity. Nothing when it is held.
std::vector<DWORD> FreeLineState() {
  HANDLE raw = OpenRaw(1);
  if (raw == INVALID_HANDLE_VALUE) return {};
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  GetCommState(raw, &dcb);
  CloseHandle(raw);
  return {dcb.BaudRate, dcb.StopBits};
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
  LinkWindow window{link};
  WindowNotifier notifier{window.hwnd};
};

TEST_F(SerialPortTest, OpenSetsTheLineAndCloseRestoresIt) {
  const std::vector<DWORD> before = FreeLineState();
  ASSERT_TRUE(port.Open(PortSettings{1, 7, 2, 2, 19200}));
  COMMTIMEOUTS t{};
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(GetCommTimeouts(port.Handle(), &t) && GetCommState(port.Handle(), &dcb));
  EXPECT_EQ((std::vector<DWORD>{t.ReadIntervalTimeout, t.ReadTotalTimeoutMultiplier, t.ReadTotalTimeoutConstant,
                                t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant, dcb.BaudRate, dcb.StopBits}),
            (std::vector<DWORD>{2, 2, 100, 2, 100, 19200, TWOSTOPBITS}));
  ASSERT_NE(before, (std::vector<DWORD>{19200, TWOSTOPBITS}));
  EXPECT_TRUE(FreeLineState().empty()) << "an open port lets nobody else in";
  port.Close(true);
  EXPECT_EQ(FreeLineState(), before);

  // Only the exit path closes without restoring; should the exit be
  // cancelled, the next open takes the port back rather than failing.
  ASSERT_TRUE(port.Open(kDefaultPortSettings));
  port.Close(false);
  EXPECT_TRUE(FreeLineState().empty()) << "the port is still held";
  ASSERT_TRUE(port.Open(kDefaultPortSettings));
  port.Close(true);
  EXPECT_FALSE(FreeLineState().empty());
}

TEST_F(SerialPortTest, PortsThatCannotOpenReport1025AndStayFree) {
  const std::vector<DWORD> before = FreeLineState();
  const struct {
    const char* why;
    PortSettings settings;
    bool holdCom1;
  } cases[] = {{"a missing device", {9, 8, 0, 0, 38400}, false},
               {"nine data bits", {1, 9, 0, 0, 38400}, false},
               {"held by another handle", kDefaultPortSettings, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const HANDLE held = c.holdCom1 ? OpenRaw(1) : INVALID_HANDLE_VALUE;
    errors.codes.clear();
    EXPECT_FALSE(link.OpenLink(notifier, c.settings));
    EXPECT_EQ(errors.codes, std::vector<uint16_t>{kErrorPortOpen});
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_EQ(FreeLineState(), before) << "a failed open keeps or changes the port";
  }
}

TEST_F(SerialPortTest, DtrWhileOpenAndTheUnitsDsr) {
  ASSERT_EQ(unit.Do("dsr off"), "ok");
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings)) << "a unit switched off still opens";
  EXPECT_EQ(unit.Do("dtr?"), "ok on");
  EXPECT_FALSE(link.IsUnitReady());
  ASSERT_EQ(unit.Do("dsr on"), "ok");
  EXPECT_TRUE(link.IsUnitReady());
  link.CloseLink(true);
  EXPECT_EQ(unit.Do("dtr?"), "ok off");
  EXPECT_TRUE(errors.codes.empty());
}

// Through the workers and the window's notices: a master read of pin sets
// holding every byte value, XON, XOFF, CR, LF, STX and ETX among them. A line
// setting left to the terminal would eat or change one, and the decoder drop
// its frame.
TEST_F(SerialPortTest, ExchangesCrossTheLineWhole) {
  ASSERT_EQ(unit.Do("plug nets A01,A05 A09,A10,A13 A25,A27,A28 A34,A36 A41,A42 B01,C04 "
                    "B08,B09,B10,B11,B12,B13,B14,B15,B16"),
            "ok");
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  ASSERT_TRUE(link.QueueTransmit(kMasterRead, sizeof kMasterRead));
  EXPECT_TRUE(window.PumpUntil(MasterEnd));
  link.CloseLink(true);
  EXPECT_EQ(unit.Reply("log")[0], "host 02 03 4D 52 03 A5");
  // A row for each of the 23 wired pins.
  EXPECT_EQ(std::count_if(window.records.begin(), window.records.end(),
                          [](const ResponseRecord& r) { return r.kind == MasterRow; }),
            23);
  EXPECT_EQ(window.channel.dropped, 0u);
}

// The workers block in SendMessageW while the window thread is busy; the
// close must serve them rather than wait out its 10 s per worker.
TEST_F(SerialPortTest, CloseWhileNoticesArePendingDoesNotStall) {
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  ASSERT_TRUE(link.QueueTransmit(kStatusQuery, sizeof kStatusQuery));
  Sleep(500);  // no messages handled: both workers wait in their notices
  ASSERT_EQ(window.notices, 0);
  const ULONGLONG start = GetTickCount64();
  link.CloseLink(true);
  EXPECT_LT(GetTickCount64() - start, 2000u);
  EXPECT_GE(window.notices, 1) << "the pending notices were handled during the close";
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings)) << "both workers ended and the port was let go";
  link.CloseLink(true);
  EXPECT_TRUE(errors.codes.empty());
}

}  // namespace
