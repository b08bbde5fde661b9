#include "app/journal.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "common/text.h"
#include "version.h"

namespace {

// Spreadsheet programs take a file with this mark as UTF-8, so Japanese and
// Chinese names show as they are.
constexpr char kByteOrderMark[] = "\xEF\xBB\xBF";
constexpr char kHeader[] =
    "Time,Version,Mode,Cable,Product No.,Model/Customer,Block Name,Cable Type,Comment,Verdict,OK,NG,Skip,Total,"
    "Faults\r\n";
constexpr char16_t kFaultSeparator[] = u" | ";
constexpr char16_t kCutMark[] = u" | \u2026";

const char* ModeName(TestMode mode) {
  switch (mode) {
    case kMasterWork:
      return "Work";
    case kProbePlus:
      return "Probe+";
    default:
      return "1 on 1";
  }
}

}  // namespace

UtcTime NowUtc() {
  using namespace std::chrono;
  const auto now = floor<seconds>(system_clock::now());
  const auto day = floor<days>(now);
  const year_month_day date{day};
  const hh_mm_ss<seconds> time{now - day};
  return UtcTime{static_cast<uint16_t>(static_cast<int>(date.year())), static_cast<uint8_t>(unsigned{date.month()}),
                 static_cast<uint8_t>(unsigned{date.day()}), static_cast<uint8_t>(time.hours().count()),
                 static_cast<uint8_t>(time.minutes().count()), static_cast<uint8_t>(time.seconds().count())};
}

void Journal::SetFile(const char16_t* path) { CopyText(path_, kMaxPathUnits, path != nullptr ? path : u""); }

void Journal::ClearFaults() {
  faultUnits_ = 0;
  faults_[0] = 0;
  faultsCut_ = false;
}

void Journal::AddFaults(const char16_t* text) {
  constexpr size_t kCutUnits = sizeof kCutMark / sizeof kCutMark[0] - 1;
  constexpr size_t kSeparatorUnits = sizeof kFaultSeparator / sizeof kFaultSeparator[0] - 1;
  for (const char16_t* start = text; *start != 0 && !faultsCut_;) {
    const char16_t* end = start;
    while (*end != 0 && *end != u'\r' && *end != u'\n') ++end;
    const size_t units = static_cast<size_t>(end - start);
    if (units != 0) {
      const size_t separator = faultUnits_ != 0 ? kSeparatorUnits : 0;
      // Room is always kept for the cut mark.
      if (faultUnits_ + separator + units + kCutUnits + 1 > kJournalFaultUnits) {
        CopyText(faults_ + faultUnits_, kJournalFaultUnits - faultUnits_, kCutMark);
        faultUnits_ += kCutUnits;
        faultsCut_ = true;
        return;
      }
      if (separator != 0) CopyText(faults_ + faultUnits_, kJournalFaultUnits - faultUnits_, kFaultSeparator);
      faultUnits_ += separator;
      std::memcpy(faults_ + faultUnits_, start, units * sizeof(char16_t));
      faultUnits_ += units;
      faults_[faultUnits_] = 0;
    }
    start = end;
    while (*start == u'\r' || *start == u'\n') ++start;
  }
}

bool Journal::Put(const char* text, size_t bytes) {
  if (used_ + bytes > kLineBytes) return false;
  std::memcpy(line_ + used_, text, bytes);
  used_ += bytes;
  return true;
}

// Quoted only when it must be: a comma, a quote or a line break inside.
bool Journal::PutField(const char16_t* text, size_t units) {
  const size_t n = Utf16ToUtf8(text, units, field_, sizeof field_);
  if (n == SIZE_MAX) return false;
  const bool quote = std::strpbrk(field_, ",\"\r\n") != nullptr;
  if (!Put(",\"", quote ? 2 : 1)) return false;
  for (size_t i = 0; i < n; ++i) {
    if (field_[i] == '"' && !Put("\"", 1)) return false;
    if (!Put(field_ + i, 1)) return false;
  }
  return !quote || Put("\"", 1);
}

bool Journal::Append(const JournalEntry& e) {
  if (!On()) return true;
  const FileHandle file = files_.OpenForAppend(path_);
  uint64_t size = 0;
  bool ok = file != kNoFile && files_.GetSize(file, size);
  used_ = 0;
  if (ok && cutShort_) ok = cutInQuotes_ ? Put("\"\r\n", 3) : Put("\r\n", 2);
  if (ok && size == 0) ok = Put(kByteOrderMark, 3) && Put(kHeader, sizeof kHeader - 1);
  if (ok) {
    char start[96];
    const int n = std::snprintf(start, sizeof start, "%04u-%02u-%02uT%02u:%02u:%02uZ,%s,%s,%u",
                                unsigned{e.time.year}, unsigned{e.time.month}, unsigned{e.time.day},
                                unsigned{e.time.hour}, unsigned{e.time.minute}, unsigned{e.time.second},
                                PINVORO_VERSION_TEXT, ModeName(e.mode), unsigned{e.cable});
    ok = n > 0 && Put(start, static_cast<size_t>(n));
  }
  for (int f = 0; ok && f < 5; ++f) {
    const char16_t* text = InfoField(*e.record, kInfoFields[f]);
    ok = PutField(text, TextLength(text, kInfoFields[f].units));
  }
  if (ok) {
    char end[64];
    const int n = e.error != 0 ? std::snprintf(end, sizeof end, ",%u", unsigned{e.error})
                               : std::snprintf(end, sizeof end, ",%s", e.verdict);
    char counts[32];
    const int m = std::snprintf(counts, sizeof counts, ",%u,%u,%u,%u", unsigned{e.counters[0]},
                                unsigned{e.counters[1]}, unsigned{e.counters[2]}, unsigned{e.counters[3]});
    ok = n > 0 && m > 0 && Put(end, static_cast<size_t>(n)) && Put(counts, static_cast<size_t>(m)) &&
         PutField(faults_, faultUnits_) && Put("\r\n", 2);
  }
  // One write of the whole line: a reader never sees the line grow, and a
  // second program appending cannot land inside it.
  uint32_t done = 0;
  const bool written = ok && files_.Write(file, line_, static_cast<uint32_t>(used_), done) &&
                       done == used_ && files_.Flush(file);
  if (file != kNoFile) files_.Close(file);
  if (ok && done != 0 && done < used_) {
    bool inQuotes = cutShort_ && cutInQuotes_;
    for (size_t i = 0; i < done; ++i) inQuotes ^= line_[i] == '"';
    cutShort_ = true;
    cutInQuotes_ = inQuotes;
  } else if (written) {
    cutShort_ = false;
  }
  if (!written) failed_ = true;
  return written;
}

bool Journal::TakeFailureReport() {
  if (!failed_ || reported_) return false;
  reported_ = true;
  return true;
}
