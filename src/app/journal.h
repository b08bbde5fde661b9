#pragma once
// The results journal: one CSV line (RFC 4180, UTF-8) per verdict and per test
// that ended in an error, appended to the file the settings name. Off while no
// file is named. Each line is opened, written in one piece, flushed and closed
// again, so the operator may open the file while testing.
#include <cstddef>
#include <cstdint>

#include "app/app.h"
#include "cabledata/cable_file.h"
#include "cabledata/cable_set.h"
#include "cabledata/file_system.h"

// The journal's file could not take a line; shown once per run.
inline constexpr uint16_t kErrorJournalWrite = 770;

// Fault lines beyond this are cut, with a mark: a flood of faults must not
// make the line unbounded.
inline constexpr size_t kJournalFaultUnits = 4096;

struct UtcTime {
  uint16_t year;
  uint8_t month, day, hour, minute, second;
};
UtcTime NowUtc();

struct JournalEntry {
  UtcTime time;
  TestMode mode;  // 1 on 1, Master/Work or Probe+
  uint8_t cable;  // 1..10
  const CableRecord* record;  // its five information fields go in
  uint16_t error;      // 0: the verdict holds; else the code the test ended with
  const char* verdict;  // "OK", "NG" or "NC"
  uint16_t counters[4];  // OK, NG, Skip, Total of the mode, after this test
};

class Journal {
 public:
  explicit Journal(FileSystem& files) : files_(files) {}
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // An empty path turns the journal off.
  void SetFile(const char16_t* path);
  bool On() const { return path_[0] != 0; }

  // The fault lines of the test under way, as the log shows them; a text of
  // several lines counts line by line.
  void ClearFaults();
  void AddFaults(const char16_t* text);

  // Appends the entry with the faults gathered. False when the line did not
  // reach the file whole.
  bool Append(const JournalEntry& entry);
  // True once per run, after the first failed append.
  bool TakeFailureReport();

 private:
  static constexpr size_t kInfoUnits = sizeof(CableInfo) / sizeof(char16_t);
  // Three bytes per unit at most, quotes doubled only for one-byte characters.
  static constexpr size_t kLineBytes = 3 * (kJournalFaultUnits + kInfoUnits) + 256;

  bool Put(const char* text, size_t bytes);
  bool PutField(const char16_t* text, size_t units);

  FileSystem& files_;
  char16_t path_[kMaxPathUnits] = {};
  char16_t faults_[kJournalFaultUnits] = {};
  size_t faultUnits_ = 0;
  bool faultsCut_ = false;
  bool failed_ = false;
  bool reported_ = false;
  // A line cut short by the disk is closed first (its quoted field too), so
  // the next line never reads as its continuation.
  bool cutShort_ = false;
  bool cutInQuotes_ = false;
  char line_[kLineBytes];
  size_t used_ = 0;
  char field_[3 * kJournalFaultUnits + 1];
};
