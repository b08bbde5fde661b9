// The Win32 COM port and the window notices against unitsim. Run through
// tests/win/with_unitsim.sh, which maps COM1 to unitsim's pseudo-terminal and
// COM9 to a device that does not exist, and tells the control port in
// PINVORO_UNITSIM_PORT.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
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
    static const ATOM atom = [] {
      WNDCLASSW wc{};
      wc.lpfnWndProc = &LinkWindow::Proc;
      wc.lpszClassName = L"PinvoroSerialTest";
      return RegisterClassW(&wc);
    }();
    current_ = this;
    hwnd = CreateWindowExW(0, MAKEINTATOM(atom), L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }
  ~LinkWindow() { DestroyWindow(hwnd); }

  void FrameQueued() override { DrainResponses(); }
  void DrainResponses() override {
    for (ResponseRecord r; TakeResponse(channel_.queue, r);) records.push_back(r);
  }
  // Handles messages until a record of the kind came; false after 5 s.
  bool PumpUntil(ResponseKind kind) {
    for (const ULONGLONG deadline = GetTickCount64() + 5000; GetTickCount64() < deadline;) {
      for (const ResponseRecord& r : records) {
        if (r.kind == kind) return true;
      }
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
    return false;
  }

  HWND hwnd;
  int notices = 0;
  std::vector<ResponseRecord> records;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_LINK_RECEIVED && message != WM_LINK_SENT) return DefWindowProcW(hwnd, message, wParam, lParam);
    ++current_->notices;
    if (message == WM_LINK_RECEIVED) DecodeReceivedBytes(current_->link_, current_->channel_, *current_);
    return 0;
  }
  static inline LinkWindow* current_ = nullptr;
  SerialLink& link_;
  ResponseChannel channel_{};
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

std::string Label(unsigned pin) {
  const unsigned n = pin % 50 + 1;
  return {"ABC"[pin / 50], static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10)};
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
                                t.WriteTotalTimeoutMultiplier, t.WriteTotalTimeoutConstant}),
            (std::vector<DWORD>{2, 2, 100, 2, 100}));
  const std::vector<DWORD> opened = {dcb.BaudRate, dcb.StopBits};
  EXPECT_EQ(opened, (std::vector<DWORD>{19200, TWOSTOPBITS}));
  ASSERT_NE(before, opened);
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
               {"an unmapped port", {200, 8, 0, 0, 38400}, false},
               {"nine data bits", {1, 9, 0, 0, 38400}, false},
               {"held by another handle", kDefaultPortSettings, true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.why);
    const HANDLE held = c.holdCom1 ? OpenRaw(1) : INVALID_HANDLE_VALUE;
    errors.codes.clear();
    EXPECT_FALSE(link.OpenLink(notifier, c.settings));
    EXPECT_EQ(errors.codes, std::vector<uint16_t>{kErrorPortOpen});
    EXPECT_FALSE(link.IsOpen());
    if (held != INVALID_HANDLE_VALUE) CloseHandle(held);
    EXPECT_EQ(FreeLineState(), before) << "a failed open keeps or changes the port";
  }
  // While the link holds the port, nobody else opens it.
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  EXPECT_TRUE(FreeLineState().empty());
  link.CloseLink(true);
  EXPECT_EQ(window.notices, 0);
}

TEST_F(SerialPortTest, DtrWhileOpenAndTheUnitsDsr) {
  for (bool unitOn : {false, true}) {
    ASSERT_EQ(unit.Do(unitOn ? "dsr on" : "dsr off"), "ok");
    ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings)) << "a unit switched off still opens";
    EXPECT_EQ(unit.Do("dtr?"), "ok on");
    EXPECT_EQ(link.IsUnitReady(), unitOn);
    ASSERT_EQ(unit.Do(unitOn ? "dsr off" : "dsr on"), "ok");
    EXPECT_EQ(link.IsUnitReady(), !unitOn);
    link.CloseLink(true);
    EXPECT_EQ(unit.Do("dtr?"), "ok off");
  }
  EXPECT_TRUE(errors.codes.empty());
}

// Through the workers and the window's notices: a status query, then a master
// read of pin sets holding every byte value, XON, XOFF, CR, LF, STX and ETX
// among them, which a line setting left to the terminal would eat or change.
TEST_F(SerialPortTest, ExchangesCrossTheLineWhole) {
  const std::vector<std::vector<unsigned>> nets = {{0, 4},          {8, 9, 12},   {24, 26, 27},
                                                   {33, 35},        {40, 41},     {50, 103},
                                                   {57, 58, 59, 60, 61, 62, 63, 64, 65}};
  ConnectionRow rows[kPinCount];
  InitConnectionRows(rows);
  std::string plug = "plug nets";
  for (const auto& net : nets) {
    for (size_t i = 0; i < net.size(); ++i) plug.append(i == 0 ? " " : ",").append(Label(net[i]));
    for (unsigned a : net) {
      for (unsigned b : net) PinSetAdd(rows[a].bits, b);
    }
  }

  ASSERT_EQ(unit.Do("version 4321"), "ok");
  ASSERT_TRUE(link.OpenLink(notifier, kDefaultPortSettings));
  ASSERT_TRUE(link.QueueTransmit(kStatusQuery, sizeof kStatusQuery));
  ASSERT_TRUE(window.PumpUntil(StatusReply));
  char16_t version[6];
  StatusReplyVersion(window.records[0], version);
  EXPECT_EQ(std::u16string(version), u"4.321");
  EXPECT_EQ(unit.Reply("log")[0], "host 02 03 53 54 03 AD");

  ASSERT_EQ(unit.Do(plug), "ok");
  ASSERT_TRUE(link.QueueTransmit(kMasterRead, sizeof kMasterRead));
  EXPECT_TRUE(window.PumpUntil(MasterEnd));
  link.CloseLink(true);
  ConnectionRow read[kPinCount];
  InitConnectionRows(read);
  for (const ResponseRecord& r : window.records) {
    const unsigned pin = r.frame[kRecordPinNumber - 1];
    if (r.kind == MasterRow && pin >= 1 && pin <= kPinCount)
      std::memcpy(read[pin - 1].bits.bytes, r.frame + kRecordPinSet - 1, kPinSetBytes);
  }
  for (unsigned p = 0; p < kPinCount; ++p) {
    EXPECT_EQ(std::memcmp(read[p].bits.bytes, rows[p].bits.bytes, kPinSetBytes), 0) << Label(p);
  }
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
