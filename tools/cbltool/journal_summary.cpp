#include "cbltool/journal_summary.h"

#include <cstdint>

#include "cbltool/set_text.h"

namespace {

// The columns the program writes.
enum Column : size_t { kTime, kVersion, kMode, kCable, kProductNo, kModel, kBlock, kType, kComment, kVerdict, kColumns = 15 };

bool Digits(std::string_view text, size_t from, size_t count) {
  if (from + count > text.size()) return false;
  for (size_t i = from; i < from + count; ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

int Number(std::string_view text, size_t from, size_t count) {
  int value = 0;
  for (size_t i = from; i < from + count; ++i) value = value * 10 + (text[i] - '0');
  return value;
}

struct CableSummary {
  CsvRecord identity;  // number, product no., model/customer, block name, cable type
  unsigned tests = 0, ok = 0, ng = 0, nc = 0, errors = 0;
  std::string first, last;
};

}  // namespace

std::vector<CsvRecord> ReadCsv(std::string_view text) {
  if (text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  std::vector<CsvRecord> records;
  CsvRecord record(1);
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c != '"') {
        record.back() += c;
      } else if (i + 1 < text.size() && text[i + 1] == '"') {
        record.back() += '"';
        ++i;
      } else {
        quoted = false;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      record.emplace_back();
    } else if (c == '\n' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')) {
      if (c == '\r') ++i;
      records.push_back(std::move(record));
      record.assign(1, std::string());
    } else {
      record.back() += c;
    }
  }
  if (record.size() > 1 || !record[0].empty()) records.push_back(std::move(record));
  return records;
}

bool NormalizeJournalTime(std::string_view text, bool upperBound, std::string& normalized) {
  if (!text.empty() && text.back() == 'Z') text.remove_suffix(1);
  // Date, then optionally THH:MM and :SS.
  const size_t n = text.size();
  if ((n != 10 && n != 16 && n != 19) || !Digits(text, 0, 4) || text[4] != '-' || !Digits(text, 5, 2) ||
      text[7] != '-' || !Digits(text, 8, 2))
    return false;
  if (n > 10 && (text[10] != 'T' || !Digits(text, 11, 2) || text[13] != ':' || !Digits(text, 14, 2))) return false;
  if (n > 16 && (text[16] != ':' || !Digits(text, 17, 2))) return false;
  const int month = Number(text, 5, 2), day = Number(text, 8, 2);
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  if (n > 10 && (Number(text, 11, 2) > 23 || Number(text, 14, 2) > 59)) return false;
  if (n > 16 && Number(text, 17, 2) > 59) return false;
  const std::string_view fill = upperBound ? "T23:59:59" : "T00:00:00";
  normalized = std::string(text) + std::string(fill.substr(n - 10));
  return true;
}

size_t SummarizeJournal(std::string_view text, const std::string& since, const std::string& until,
                        std::ostream& out) {
  std::vector<CableSummary> cables;
  size_t damaged = 0, taken = 0;
  const std::vector<CsvRecord> records = ReadCsv(text);
  for (size_t r = 0; r < records.size(); ++r) {
    const CsvRecord& record = records[r];
    if (r == 0 && record[0] == "Time") continue;  // the header
    std::string time;
    const std::string& verdict = record.size() == kColumns ? record[kVerdict] : std::string();
    const bool isError = !verdict.empty() && Digits(verdict, 0, verdict.size());
    if (record.size() != kColumns || record[kTime].size() != 20 || record[kTime].back() != 'Z' ||
        !NormalizeJournalTime(record[kTime], false, time) || record[kTime].substr(0, 19) != time ||
        (verdict != "OK" && verdict != "NG" && verdict != "NC" && !isError)) {
      ++damaged;
      continue;
    }
    if ((!since.empty() && time < since) || (!until.empty() && time > until)) continue;
    ++taken;
    const CsvRecord identity(record.begin() + kCable, record.begin() + kComment);
    CableSummary* cable = nullptr;
    for (CableSummary& c : cables)
      if (c.identity == identity) cable = &c;
    if (cable == nullptr) {
      cable = &cables.emplace_back();
      cable->identity = identity;
    }
    ++cable->tests;
    ++(verdict == "OK" ? cable->ok : verdict == "NG" ? cable->ng : verdict == "NC" ? cable->nc : cable->errors);
    if (cable->first.empty() || record[kTime] < cable->first) cable->first = record[kTime];
    if (record[kTime] > cable->last) cable->last = record[kTime];
  }
  const char* const labels[] = {"Product No.", "Model/Customer", "Block Name", "Cable Type"};
  for (const CableSummary& c : cables) {
    out << "Cable " << Escaped(c.identity[0]);
    for (size_t f = 0; f < 4; ++f) out << "  " << labels[f] << " '" << Escaped(c.identity[f + 1]) << "'";
    out << "\n  " << c.tests << (c.tests == 1 ? " test: " : " tests: ") << c.ok << " OK, " << c.ng << " NG, " << c.nc
        << " NC, " << c.errors << (c.errors == 1 ? " error" : " errors") << "\n  first " << c.first << ", last "
        << c.last << '\n';
  }
  out << taken << (taken == 1 ? " test of " : " tests of ") << cables.size()
      << (cables.size() == 1 ? " cable\n" : " cables\n");
  return damaged;
}
