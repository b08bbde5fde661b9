#pragma once
// The control side of unitsim: line commands that plug a cable, switch DSR,
// script the probe, pace the line and inject faults ("help" lists them), and
// the log of every frame on the line.
// Kept apart from the pseudo-terminal and socket plumbing so it can be tested
// natively.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cabledata/file_system.h"
#include "sim/tester_model.h"

// "host 02 03 53 54 03 AD" or "unit ...".
std::string FrameLine(const char* who, const uint8_t* frame, size_t n);

// Keeps every frame for the control channel's "log" and, when given a file,
// appends it there as well with a time stamp (seconds since start).
class FrameRecorder final : public TesterModel::FrameLog {
 public:
  explicit FrameRecorder(std::FILE* file = nullptr) : file_(file) {}
  // The time stamp of the frames logged from now on.
  void SetClock(uint64_t nowMs) { nowMs_ = nowMs; }
  void HostFrame(const uint8_t* frame, size_t n) override;
  void UnitFrame(const uint8_t* frame, size_t n) override;
  const std::vector<std::string>& Lines() const { return lines_; }
  void Clear() { lines_.clear(); }

 private:
  void Add(std::string line);

  std::FILE* file_;
  uint64_t nowMs_ = 0;
  std::vector<std::string> lines_;
};

class UnitControl {
 public:
  UnitControl(TesterModel& model, FrameRecorder& recorder, FileSystem& files)
      : model_(model), recorder_(recorder), files_(files) {}

  // Runs one command line. The reply is one or more lines, each ending in
  // "\n"; the last is "ok", "ok <value>" or "error: <why>".
  std::string Execute(std::string_view line, uint64_t nowMs);
  bool QuitRequested() const { return quit_; }

 private:
  std::string Plug(const std::vector<std::string_view>& words);
  std::string Fault(const std::vector<std::string_view>& words);
  std::string Probe(const std::vector<std::string_view>& words, uint64_t nowMs);
  std::string Expected() const;

  TesterModel& model_;
  FrameRecorder& recorder_;
  FileSystem& files_;
  bool quit_ = false;
};
