#pragma once
// Reading and writing cable-set files: the 45202-byte image of the set, or the
// older 45062-byte layout without probe data, converted after the user agrees.
#include "cabledata/cable_set.h"
#include "cabledata/file_system.h"
#include "common/error_report.h"

inline constexpr uint32_t kCableSetFileSize = sizeof(CableSet);
inline constexpr uint32_t kOldCableRecordSize = 4504;
inline constexpr uint32_t kOldCableSetFileSize = 45062;

// Longest path the file code takes, terminator included: far beyond the
// program's own path buffer, so a link's target or a temporary name beside a
// file always has room.
inline constexpr int kMaxPathUnits = 1024;

enum class SaveDisposition {
  kExistingFile,     // the file must already exist
  kCreateOrReplace,
};

// Asks whether an old-layout file may be read and converted; true on Yes.
class ConversionPrompt {
 public:
  virtual bool ConfirmOldLayoutConversion() = 0;

 protected:
  ~ConversionPrompt() = default;
};

struct CableFileContext {
  FileSystem& files;
  ErrorReporter& errors;
  ConversionPrompt& prompt;
};

// Replaces set only when a whole file was read and, for an old file, converted;
// otherwise the set is unchanged and the failure was reported (768 cannot open,
// 769 short or failed read) unless the user declined the conversion.
bool LoadCableSetFile(const CableFileContext& ctx, const char16_t* path, CableSet& set);

// Writes a new temporary file beside the file path names (through a link, the
// file the link leads to) and puts it in that file's place only once all 45202
// bytes are durable, so a failure never costs the user the old file. Any
// failure reports 768 and returns false.
bool SaveCableSetFile(FileSystem& files, ErrorReporter& errors, const char16_t* path, const CableSet& set,
                      SaveDisposition disposition);

// Converts the old 45062-byte image into set. Names, rows, information and
// selected pins move; probe data is empty and the tag standard. reserved and
// currentCable come from the old trailer.
void ConvertOldCableSet(const uint8_t (&old)[kOldCableSetFileSize], CableSet& set);
