#include "cbltool/cbltool.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "cabledata/cable_file.h"
#include "cbltool/check.h"
#include "cbltool/diff.h"
#include "cbltool/journal_summary.h"
#include "cbltool/set_json.h"
#include "cbltool/show.h"
#include "common/text.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitExists = 3;
// Far more than any set needs (an export is about 200 KB), small enough to hold.
constexpr uint64_t kMaxJsonBytes = 16u << 20;
// Years of a busy line's results.
constexpr uint64_t kMaxJournalBytes = uint64_t{1} << 30;

// Reads and the save report their failures as codes; the tool says what
// they mean for the file at hand, on one line.
class ToolErrors final : public ErrorReporter {
 public:
  ToolErrors(std::ostream& err, const std::string& path, bool writing) : err_(err), path_(path), writing_(writing) {}
  void ShowError(uint16_t code) override {
    reported = true;
    if (code == kErrorFileOpen) {
      err_ << "cbltool: cannot " << (writing_ ? "write " : "open ") << path_ << '\n';
    } else if (code == kErrorFileRead) {
      err_ << "cbltool: cannot read " << path_ << '\n';
    } else {
      err_ << "cbltool: error " << code << " with " << path_ << '\n';
    }
  }
  bool reported = false;

 private:
  std::ostream& err_;
  const std::string& path_;
  bool writing_;
};

struct OldImage {
  uint8_t bytes[kOldCableSetFileSize];
};

class Tool {
 public:
  Tool(FileSystem& files, std::ostream& out, std::ostream& err) : files_(files), out_(out), err_(err) {}

  int New(const std::string& file, bool force);
  int Show(const std::string& file, int cableNumber);
  int Check(const std::string& file);
  int Convert(const std::string& oldFile, const std::string& newFile, bool force);
  int Export(const std::string& file);
  int Import(const std::string& jsonFile, const std::string& file, bool force);
  int Journal(const std::string& file, const std::string& since, const std::string& until);
  int Diff(const std::string& first, const std::string& second);

  std::ostream& Out() { return out_; }
  std::ostream& Err() { return err_; }

  // Converts every path argument up front, so nothing is done with half of them.
  bool PathsUsable(std::initializer_list<const std::string*> paths);

 private:
  int Fail(const std::string& message) {
    err_ << "cbltool: " << message << '\n';
    return kExitFailure;
  }
  std::u16string Path(const std::string& file) const;
  bool ReadBytes(const std::string& file, uint64_t limit, uint64_t& size, std::vector<uint8_t>& data);
  bool LoadForReading(const std::string& file, CableSet& set, bool asStored);
  int CheckTarget(const std::string& file, bool force);
  int Save(const std::string& file, const CableSet& set);

  FileSystem& files_;
  std::ostream& out_;
  std::ostream& err_;
};

std::u16string Tool::Path(const std::string& file) const {
  std::vector<char16_t> units(kMaxPathUnits);
  const size_t n = Utf8ToUtf16(file.data(), file.size(), units.data(), units.size());
  return n == SIZE_MAX ? std::u16string() : std::u16string(units.data(), n);
}

bool Tool::PathsUsable(std::initializer_list<const std::string*> paths) {
  for (const std::string* file : paths) {
    if (Path(*file).empty()) {
      err_ << "cbltool: cannot use the path '" << *file << "': empty, not UTF-8 or longer than " << kMaxPathUnits - 1
           << " characters\n";
      return false;
    }
  }
  return true;
}

// Reads min(size, limit) bytes. Failures are reported as the loader reports them.
bool Tool::ReadBytes(const std::string& file, uint64_t limit, uint64_t& size, std::vector<uint8_t>& data) {
  // Opening a FIFO would wait for a writer; a device or folder holds no set.
  if (files_.KindOf(Path(file).c_str()) == PathKind::kOther) {
    Fail(file + " is not a regular file");
    return false;
  }
  ToolErrors errors(err_, file, false);
  const FileHandle handle = files_.OpenForRead(Path(file).c_str());
  if (handle == kNoFile) {
    errors.ShowError(kErrorFileOpen);
    return false;
  }
  size = 0;
  bool ok = files_.GetSize(handle, size);
  if (ok) {
    data.assign(static_cast<size_t>(std::min(size, limit)), 0);
    size_t got = 0;
    while (ok && got < data.size()) {
      uint32_t n = 0;
      const auto chunk = static_cast<uint32_t>(std::min<size_t>(data.size() - got, 1u << 20));
      ok = files_.Read(handle, data.data() + got, chunk, n) && n > 0;
      got += n;
    }
  }
  files_.Close(handle);
  if (!ok) errors.ShowError(kErrorFileRead);
  return ok;
}

// asStored keeps every byte for export; otherwise the set is what the program
// would load from the file.
bool Tool::LoadForReading(const std::string& file, CableSet& set, bool asStored) {
  uint64_t size = 0;
  std::vector<uint8_t> data;
  if (!ReadBytes(file, kCableSetFileSize, size, data)) return false;
  if (size == kOldCableSetFileSize) {
    Fail(file + " is in the old layout; convert it first with 'cbltool convert " + file + " NEW'");
    return false;
  }
  // Import writes the set alone, so export would lose any bytes after it.
  if (size < kCableSetFileSize || (asStored && size != kCableSetFileSize)) {
    Fail(file + " is " + std::to_string(size) + " bytes, not a cable-set file (" + std::to_string(kCableSetFileSize) +
         " bytes)");
    return false;
  }
  std::memcpy(&set, data.data(), sizeof set);
  if (!asStored) TerminateAllText(set);
  return true;
}

// By name, not by opening: a file another program holds locked exists all the same.
int Tool::CheckTarget(const std::string& file, bool force) {
  switch (files_.KindOf(Path(file).c_str())) {
    case PathKind::kMissing:
      return 0;
    case PathKind::kRegular:
      if (force) return 0;
      err_ << "cbltool: " << file << " exists; use --force to replace it\n";
      return kExitExists;
    case PathKind::kOther:
      break;
  }
  return Fail(file + " is not a regular file");
}

int Tool::Save(const std::string& file, const CableSet& set) {
  ToolErrors errors(err_, file, true);
  if (!SaveCableSetFile(files_, errors, Path(file).c_str(), set, SaveDisposition::kCreateOrReplace)) {
    return kExitFailure;
  }
  out_ << "wrote " << file << '\n';
  return 0;
}

int Tool::New(const std::string& file, bool force) {
  if (const int refused = CheckTarget(file, force)) return refused;
  // Value-initialized like the program's static set, so the image is the same.
  auto set = std::make_unique<CableSet>();
  InitCableSet(*set);
  return Save(file, *set);
}

int Tool::Show(const std::string& file, int cableNumber) {
  auto set = std::make_unique<CableSet>();
  if (!LoadForReading(file, *set, false)) return kExitFailure;
  out_ << file << '\n';
  PrintCableSet(*set, cableNumber - 1, out_);
  return 0;
}

int Tool::Check(const std::string& file) {
  uint64_t size = 0;
  std::vector<uint8_t> data;
  if (!ReadBytes(file, kCableSetFileSize, size, data)) return kExitFailure;
  const ImageReport report = CheckCableImage(data.data(), data.size(), size);
  for (const std::string& note : report.notes) out_ << note << '\n';
  for (const std::string& problem : report.problems) out_ << problem << '\n';
  if (report.problems.empty()) {
    out_ << file << ": OK\n";
    return 0;
  }
  const size_t n = report.problems.size();
  out_ << file << ": " << n << (n == 1 ? " problem\n" : " problems\n");
  return kExitFailure;
}

int Tool::Convert(const std::string& oldFile, const std::string& newFile, bool force) {
  if (const int refused = CheckTarget(newFile, force)) return refused;
  uint64_t size = 0;
  std::vector<uint8_t> data;
  if (!ReadBytes(oldFile, kOldCableSetFileSize, size, data)) return kExitFailure;
  if (size == kCableSetFileSize) return Fail(oldFile + " is already in the current layout");
  if (size != kOldCableSetFileSize) {
    return Fail(oldFile + " is " + std::to_string(size) + " bytes, not an old-layout file (" +
                std::to_string(kOldCableSetFileSize) + " bytes)");
  }
  auto old = std::make_unique<OldImage>();
  std::memcpy(old->bytes, data.data(), sizeof old->bytes);
  auto set = std::make_unique<CableSet>();
  InitCableSet(*set);
  ConvertOldCableSet(old->bytes, *set);
  return Save(newFile, *set);
}

int Tool::Export(const std::string& file) {
  auto set = std::make_unique<CableSet>();
  if (!LoadForReading(file, *set, true)) return kExitFailure;
  out_ << ExportCableSetJson(*set);
  return 0;
}

int Tool::Import(const std::string& jsonFile, const std::string& file, bool force) {
  if (const int refused = CheckTarget(file, force)) return refused;
  uint64_t size = 0;
  std::vector<uint8_t> data;
  if (!ReadBytes(jsonFile, kMaxJsonBytes, size, data)) return kExitFailure;
  if (size > kMaxJsonBytes)
    return Fail(jsonFile + " is too large for a cable set (" + std::to_string(size) + " bytes)");
  auto set = std::make_unique<CableSet>();
  std::string error;
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  if (!ImportCableSetJson(text, *set, error)) return Fail(jsonFile + ": " + error);
  return Save(file, *set);
}

int Tool::Journal(const std::string& file, const std::string& since, const std::string& until) {
  std::string from, to;
  if ((!since.empty() && !NormalizeJournalTime(since, false, from)) ||
      (!until.empty() && !NormalizeJournalTime(until, true, to))) {
    err_ << "cbltool: give times as YYYY-MM-DD[THH:MM[:SS]][Z], in UTC as the journal holds them\n";
    return kExitUsage;
  }
  uint64_t size = 0;
  std::vector<uint8_t> data;
  if (!ReadBytes(file, kMaxJournalBytes, size, data)) return kExitFailure;
  if (size > kMaxJournalBytes) return Fail(file + " is too large (" + std::to_string(size) + " bytes)");
  const std::string_view text(reinterpret_cast<const char*>(data.data()), data.size());
  const size_t damaged = SummarizeJournal(text, from, to, out_);
  if (damaged == 0) return 0;
  return Fail(file + ": " + std::to_string(damaged) + (damaged == 1 ? " damaged line" : " damaged lines") + " skipped");
}

// As diff(1): 1 tells a difference, so any trouble is 2.
int Tool::Diff(const std::string& first, const std::string& second) {
  std::string files[2];
  int cables[2];
  for (int i = 0; i < 2; ++i) {
    if (!SplitCableArgument(i == 0 ? first : second, files[i], cables[i])) {
      err_ << "cbltool: cable numbers run from 1 to " << kCableCount << ": " << (i == 0 ? first : second) << '\n';
      return kExitUsage;
    }
  }
  if (!PathsUsable({&files[0], &files[1]})) return kExitUsage;
  auto a = std::make_unique<CableSet>(), b = std::make_unique<CableSet>();
  if (!LoadForReading(files[0], *a, false) || !LoadForReading(files[1], *b, false)) return kExitUsage;
  const auto pick = [](const CableSet& set, int cable) {
    return cable > 0 ? cable - 1 : set.currentCable < kCableCount ? set.currentCable : 0;
  };
  const int ia = pick(*a, cables[0]), ib = pick(*b, cables[1]);
  return PrintCableDiff(a->cables[ia], files[0] + ":" + std::to_string(ia + 1), b->cables[ib],
                        files[1] + ":" + std::to_string(ib + 1), out_)
             ? kExitFailure
             : 0;
}

int Run(int argc, char** argv, Tool& tool) {
  CLI::App app{"Reads, checks, converts and builds Pinvoro cable-set files (*.cbl).", "cbltool"};
  app.require_subcommand(1);
  app.footer(
      "Only regular files are read or written. new, convert and import never replace a file without --force.\n"
      "Exit status: 0 done, 1 failed or problems found, 2 wrong arguments, 3 the file to write exists (see --force).");

  std::string file, other;
  bool force = false;
  int cable = 0;

  CLI::App* cmdNew = app.add_subcommand("new", "Write a new, default cable set to FILE");
  cmdNew->add_option("FILE", file, "Cable-set file to create")->required();
  const char* const forceHelp = "Replace the file to write if it exists";
  cmdNew->add_flag("--force", force, forceHelp);

  CLI::App* cmdShow = app.add_subcommand("show", "Print the cables of FILE readably");
  cmdShow->add_option("FILE", file, "Cable-set file")->required();
  cmdShow->add_option("--cable", cable, "Print only cable N")->check(CLI::Range(1, kCableCount))->type_name("N");

  CLI::App* cmdCheck = app.add_subcommand("check", "Validate FILE as it lies on disk");
  cmdCheck->add_option("FILE", file, "Cable-set file")->required();

  CLI::App* cmdConvert = app.add_subcommand("convert", "Convert an old-layout file OLD into NEW");
  cmdConvert->add_option("OLD", file, "Old-layout file (45062 bytes)")->required();
  cmdConvert->add_option("NEW", other, "Cable-set file to write")->required();
  cmdConvert->add_flag("--force", force, forceHelp);

  CLI::App* cmdExport = app.add_subcommand("export", "Print FILE as JSON that import turns back into the same file");
  cmdExport->add_option("FILE", file, "Cable-set file")->required();

  CLI::App* cmdImport = app.add_subcommand("import", "Build FILE from JSON as export writes it");
  cmdImport->add_option("JSON", file, "JSON file")->required();
  cmdImport->add_option("FILE", other, "Cable-set file to write")->required();
  cmdImport->add_flag("--force", force, forceHelp);

  std::string since, until;
  CLI::App* cmdJournal = app.add_subcommand("journal", "Summarize the program's results journal FILE per cable");
  cmdJournal->add_option("FILE", file, "Results journal (CSV)")->required();
  cmdJournal->add_option("--since", since, "Only tests from this UTC date or time on")->type_name("YYYY-MM-DD[THH:MM[:SS]]");
  cmdJournal->add_option("--until", until, "Only tests up to this UTC date or time")->type_name("YYYY-MM-DD[THH:MM[:SS]]");

  CLI::App* cmdDiff = app.add_subcommand("diff", "Compare the connections of two cables, pin by pin name");
  cmdDiff->footer(
      "Without :N a set's current cable is taken. Pins are matched by name, blanks around it ignored; a pin\n"
      "without a name, or with a name its cable uses twice, by its connector and number: NAME(A01).\n"
      "Exit status: 0 the same connections, 1 different, 2 wrong arguments or a file that cannot be read.");
  cmdDiff->add_option("A", file, "Cable-set file, optionally :N")->required()->type_name("A.cbl[:N]");
  cmdDiff->add_option("B", other, "Cable-set file, optionally :M")->required()->type_name("B.cbl[:M]");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    if (e.get_exit_code() == static_cast<int>(CLI::ExitCodes::Success)) return app.exit(e, tool.Out(), tool.Err());
    tool.Err() << "cbltool: " << e.what() << " (see cbltool --help)\n";
    return kExitUsage;
  }

  if (*cmdDiff) return tool.Diff(file, other);
  if (*cmdJournal) return tool.PathsUsable({&file}) ? tool.Journal(file, since, until) : kExitUsage;
  if (*cmdConvert || *cmdImport) {
    if (!tool.PathsUsable({&file, &other})) return kExitUsage;
  } else if (!tool.PathsUsable({&file})) {
    return kExitUsage;
  }
  if (*cmdNew) return tool.New(file, force);
  if (*cmdShow) return tool.Show(file, cable);
  if (*cmdCheck) return tool.Check(file);
  if (*cmdConvert) return tool.Convert(file, other, force);
  if (*cmdExport) return tool.Export(file);
  return tool.Import(file, other, force);
}

}  // namespace

int RunCbltool(int argc, char** argv, FileSystem& files, std::ostream& out, std::ostream& err) {
  Tool tool(files, out, err);
  int code;
  try {
    code = Run(argc, argv, tool);
  } catch (const std::bad_alloc&) {
    err << "cbltool: out of memory\n";
    return kExitFailure;
  } catch (const std::exception& e) {
    err << "cbltool: " << e.what() << '\n';
    return kExitFailure;
  }
  out.flush();
  if (!out) {
    err << "cbltool: cannot write the output\n";
    return kExitFailure;
  }
  return code;
}
