#pragma once
// The program's results journal read back: an RFC 4180 reader and a summary
// per cable.
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

using CsvRecord = std::vector<std::string>;

// Fields split at commas; a quoted field may hold commas, doubled quotes and
// line breaks. Records end at CR LF or LF; a UTF-8 byte-order mark at the
// start is skipped.
std::vector<CsvRecord> ReadCsv(std::string_view text);

// An ISO 8601 date or date and time (UTC, "Z" optional), as the journal's
// "YYYY-MM-DDTHH:MM:SS"; parts left out are filled with their first value, or
// with their last for an upper bound, so that --until 2026-05-31 takes that
// whole day. False when the text is no such time.
bool NormalizeJournalTime(std::string_view text, bool upperBound, std::string& normalized);

// Prints tests, OK, NG, NC, errors and the first and last time per cable (its
// number and identifying fields), for the lines within since..until (empty:
// open). Returns how many lines were damaged and skipped.
size_t SummarizeJournal(std::string_view text, const std::string& since, const std::string& until,
                        std::ostream& out);
