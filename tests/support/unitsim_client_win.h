#pragma once
// unitsim's control channel for Windows programs run through
// tests/win/with_unitsim.sh: line commands over TCP to 127.0.0.1 at
// PINVORO_UNITSIM_PORT.
#include <winsock2.h>
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>


class UnitSim {
 public:
  UnitSim() {
    WSADATA data;
    started_ = WSAStartup(MAKEWORD(2, 2), &data) == 0;
    const char* port = std::getenv("PINVORO_UNITSIM_PORT");
    if (!started_ || port == nullptr) return;
    socket_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<u_short>(std::atoi(port)));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (socket_ != INVALID_SOCKET && connect(socket_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
      closesocket(socket_);
      socket_ = INVALID_SOCKET;
    }
  }
  ~UnitSim() {
    if (socket_ != INVALID_SOCKET) closesocket(socket_);
    if (started_) WSACleanup();
  }
  UnitSim(const UnitSim&) = delete;
  UnitSim& operator=(const UnitSim&) = delete;

  bool Connected() const { return socket_ != INVALID_SOCKET; }

  // Every line of the reply; the last one is "ok..." or "error: ...".
  std::vector<std::string> Reply(const std::string& command) {
    const std::string line = command + "\n";
    send(socket_, line.data(), static_cast<int>(line.size()), 0);
    std::vector<std::string> lines;
    for (;;) {
      const size_t end = pending_.find('\n');
      if (end != std::string::npos) {
        lines.push_back(pending_.substr(0, end));
        pending_.erase(0, end + 1);
        if (lines.back().rfind("ok", 0) == 0 || lines.back().rfind("error:", 0) == 0) return lines;
        continue;
      }
      char buffer[4096];
      const int n = recv(socket_, buffer, sizeof buffer, 0);
      if (n <= 0) {
        lines.push_back("error: connection to unitsim lost");
        return lines;
      }
      pending_.append(buffer, static_cast<size_t>(n));
    }
  }
  std::string Do(const std::string& command) { return Reply(command).back(); }

 private:
  bool started_ = false;
  SOCKET socket_ = INVALID_SOCKET;
  std::string pending_;
};
