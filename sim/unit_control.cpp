#include "sim/unit_control.h"

#include <cbltool/set_json.h>
#include <cbltool/set_text.h>

#include <charconv>
#include <cstring>
#include <fstream>
#include <limits>
#include <memory>
#include <sstream>

#include "cabledata/cable_file.h"
#include "common/text.h"

namespace {

std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

// The text after the first `skip` words, so that a path may hold blanks.
std::string_view Rest(std::string_view line, size_t skip) {
  size_t i = 0;
  for (size_t w = 0; w <= skip; ++w) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (w == skip) break;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
  }
  std::string_view rest = line.substr(i);
  while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.remove_suffix(1);
  return rest;
}

std::string Error(std::string_view why) { return "error: " + std::string(why) + "\n"; }

constexpr const char* kOk = "ok\n";

template <typename T>
bool Number(std::string_view text, T& value) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end;
}

bool Switch(std::string_view text, bool& on) {
  if (text == "on" || text == "1" || text == "true") {
    on = true;
    return true;
  }
  if (text == "off" || text == "0" || text == "false") {
    on = false;
    return true;
  }
  return false;
}

const char* OnOff(bool on) { return on ? "on" : "off"; }

// The fastest line unitsim paces; beyond it the pseudo-terminal is the limit.
constexpr uint32_t kMaxBaud = 1000000;

struct FaultName {
  const char* name;
  const char* values;
};

// For "help" and for the error on a name that is none of these.
constexpr FaultName kFaultNames[] = {
    {"noAnswer", "on|off"},
    {"firstFrameDelayMs", "MS"},
    {"dsrDropAfterFrames", "N|-1"},
    {"garbageBetweenFrames", "on|off"},
    {"splitChunk", "BYTES"},
    {"chunkGapMs", "MS"},
    {"badChecksum", "on|off"},
    {"badEtx", "on|off"},
    {"lostStx", "on|off"},
    {"lostByte", "on|off"},
    {"lostEnd", "on|off"},
    {"unknownLetters", "on|off"},
    {"pinOutOfRange", "on|off"},
    {"burstFrames", "N"},
    {"faultAnswer", "S|O|P|R|W|any"},
};

constexpr const char* kCommandHelp[] = {
    "plug cbl INDEX PATH | json NUMBER PATH | straight N | nothing | nets A01,B01 ...",
    "dsr on|off",
    "dsr?",
    "dtr?",
    "version XXXX",
    "probe PIN,PIN ...",
    "probe period MS (0: back to back)",
    "probe period?",
    "speed BAUD (0: unpaced)",
    "speed?",
    "fault NAME VALUE",
    "clear faults | probe (script and period) | log",
    "log",
    "expected",
    "status",
    "help",
    "quit",
};

// A driver running under Wine may name files as Windows sees them: Wine's Z:
// drive is the Linux root.
std::string LinuxPath(std::string_view path) {
  std::string out(path);
  if (out.size() >= 3 && (out[0] == 'Z' || out[0] == 'z') && out[1] == ':' && (out[2] == '\\' || out[2] == '/')) {
    out.erase(0, 2);
    for (char& c : out) {
      if (c == '\\') c = '/';
    }
  }
  return out;
}

// Collects the one error code the cable-file loader reports.
class CodeCatcher final : public ErrorReporter {
 public:
  void ShowError(uint16_t code) override { code_ = code; }
  uint16_t code() const { return code_; }

 private:
  uint16_t code_ = 0;
};

// unitsim plugs what it is given: an old-layout file is simply converted.
class AlwaysConvert final : public ConversionPrompt {
 public:
  bool ConfirmOldLayoutConversion() override { return true; }
};

// Pin labels separated by commas (and the words they come in): "A01,B01 C04".
bool ParsePins(const std::vector<std::string_view>& words, size_t first, PinSet& pins, std::string& bad) {
  PinSetClear(pins);
  for (size_t w = first; w < words.size(); ++w) {
    std::string_view list = words[w];
    while (!list.empty()) {
      const size_t comma = list.find(',');
      const std::string_view label = list.substr(0, comma);
      list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
      if (label.empty()) continue;
      const int pin = FindPinLabel(label);
      if (pin < 0) {
        bad = label;
        return false;
      }
      PinSetAdd(pins, static_cast<unsigned>(pin));
    }
  }
  return true;
}

std::string Labels(const PinSet& pins) {
  std::string text;
  for (unsigned p = 0; p < kPinCount; ++p) {
    if (!PinSetHas(pins, p)) continue;
    if (!text.empty()) text += ' ';
    text += PinLabel(p);
  }
  return text;
}

}  // namespace

std::string FrameLine(const char* who, const uint8_t* frame, size_t n) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string line = who;
  for (size_t i = 0; i < n; ++i) {
    line += ' ';
    line += kHex[frame[i] >> 4];
    line += kHex[frame[i] & 0x0F];
  }
  return line;
}

void FrameRecorder::HostFrame(const uint8_t* frame, size_t n) { Add(FrameLine("host", frame, n)); }

void FrameRecorder::UnitFrame(const uint8_t* frame, size_t n) { Add(FrameLine("unit", frame, n)); }

void FrameRecorder::Add(std::string line) {
  if (file_ != nullptr) {
    std::fprintf(file_, "%8llu.%03llu %s\n", static_cast<unsigned long long>(nowMs_ / 1000),
                 static_cast<unsigned long long>(nowMs_ % 1000), line.c_str());
    std::fflush(file_);
  }
  lines_.push_back(std::move(line));
}

std::string UnitControl::Execute(std::string_view line, uint64_t nowMs) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  const std::vector<std::string_view> words = Words(line);
  if (words.empty()) return Error("empty command");
  const std::string_view command = words[0];
  const size_t args = words.size() - 1;

  if (command == "plug") {
    if (words.size() >= 4 && (words[1] == "cbl" || words[1] == "json")) {
      std::vector<std::string_view> withPath(words.begin(), words.begin() + 3);
      withPath.push_back(Rest(line, 3));
      return Plug(withPath);
    }
    return Plug(words);
  }
  if (command == "dsr" && args == 1) {
    bool on = false;
    if (!Switch(words[1], on)) return Error("dsr takes on or off");
    model_.SetDsr(on);
    return kOk;
  }
  if (command == "dsr?" && args == 0) return std::string("ok ") + OnOff(model_.Dsr()) + "\n";
  if (command == "dtr?" && args == 0) return std::string("ok ") + OnOff(model_.Dtr()) + "\n";
  if (command == "version" && args == 1) {
    if (words[1].size() != 4) return Error("version takes four characters, e.g. 1234");
    char version[5] = {};
    for (size_t i = 0; i < 4; ++i) {
      const char c = words[1][i];
      if (c < 0x20 || c > 0x7E) return Error("version takes printable ASCII characters");
      version[i] = c;
    }
    model_.SetVersion(version);
    return kOk;
  }
  if (command == "probe") return Probe(words, nowMs);
  if (command == "speed" && args == 1) {
    uint32_t baud = 0;
    if (!Number(words[1], baud) || baud > kMaxBaud) {
      return Error("speed takes bit/s up to " + std::to_string(kMaxBaud) + ", 0 unpaced");
    }
    model_.SetLineSpeed(baud);
    return kOk;
  }
  if (command == "speed?" && args == 0) return "ok " + std::to_string(model_.LineSpeed()) + "\n";
  if (command == "fault") return Fault(words);
  if (command == "clear" && args == 1 && words[1] == "faults") {
    model_.Faults() = UnitFaults{};
    return kOk;
  }
  if (command == "clear" && args == 1 && words[1] == "probe") {
    model_.ClearProbeScript();
    model_.SetProbePeriodMs(TesterModel::kDefaultProbePeriodMs);
    return kOk;
  }
  if (command == "clear" && args == 1 && words[1] == "log") {
    recorder_.Clear();
    return kOk;
  }
  if (command == "log" && args == 0) {
    std::string reply;
    for (const std::string& entry : recorder_.Lines()) reply += entry + "\n";
    return reply + kOk;
  }
  if (command == "expected" && args == 0) return Expected();
  if (command == "status" && args == 0) {
    std::ostringstream out;
    out << "ok dsr " << OnOff(model_.Dsr()) << " dtr " << OnOff(model_.Dtr()) << " lost " << model_.LostFrames()
        << " frames " << recorder_.Lines().size() << " sent " << model_.SentFrames() << "\n";
    return out.str();
  }
  if (command == "help" && args == 0) {
    std::string reply;
    for (const char* entry : kCommandHelp) reply += std::string(entry) + "\n";
    for (const FaultName& fault : kFaultNames) reply += std::string("fault ") + fault.name + " " + fault.values + "\n";
    return reply + kOk;
  }
  if (command == "quit" && args == 0) {
    quit_ = true;
    return kOk;
  }
  return Error("unknown command '" + std::string(line) + "'");
}

std::string UnitControl::Plug(const std::vector<std::string_view>& words) {
  if (words.size() == 2 && words[1] == "nothing") {
    model_.PlugNothing();
    return kOk;
  }
  if (words.size() == 3 && words[1] == "straight") {
    int pins = 0;
    if (!Number(words[2], pins) || pins < 0 || pins > 50) return Error("plug straight takes 0..50 pins");
    model_.PlugStraight(pins);
    return kOk;
  }
  if (words.size() >= 3 && words[1] == "nets") {
    // Each group's pins are wired together; every other pin is alone.
    ConnectionRow rows[kPinCount];
    InitConnectionRows(rows);
    for (size_t w = 2; w < words.size(); ++w) {
      PinSet net{};
      std::string bad;
      if (!ParsePins({words[w]}, 0, net, bad)) {
        return Error("'" + bad + "' is not a pin label (A01..A50, B01..B50, C01..C04)");
      }
      for (unsigned p = 0; p < kPinCount; ++p) {
        if (!PinSetHas(net, p)) continue;
        for (unsigned q = 0; q < kPinCount; ++q) {
          if (PinSetHas(net, q)) PinSetAdd(rows[p].bits, q);
        }
      }
    }
    model_.Plug(rows);
    return kOk;
  }
  if (words.size() == 4 && words[1] == "cbl") {
    int index = 0;
    if (!Number(words[2], index) || index < 0 || index >= kCableCount) return Error("cable index is 0..9");
    const std::string path = LinuxPath(words[3]);
    char16_t widePath[kMaxPathUnits];
    if (Utf8ToUtf16(path.data(), path.size(), widePath, kMaxPathUnits) == SIZE_MAX) {
      return Error("path is not valid UTF-8 or too long");
    }
    CodeCatcher errors;
    AlwaysConvert prompt;
    const auto set = std::make_unique<CableSet>();
    if (!LoadCableSetFile(CableFileContext{files_, errors, prompt}, widePath, *set)) {
      return Error(errors.code() == kErrorFileRead ? "cannot read " + path + " as a cable-set file"
                                                   : "cannot open " + path);
    }
    model_.Plug(set->cables[index].connections);
    return kOk;
  }
  if (words.size() == 4 && words[1] == "json") {
    int number = 0;
    if (!Number(words[2], number) || number < 1 || number > kCableCount) return Error("cable number is 1..10");
    const std::string path = LinuxPath(words[3]);
    std::ifstream in(path, std::ios::binary);
    if (!in) return Error("cannot open " + path);
    std::ostringstream text;
    text << in.rdbuf();
    const auto set = std::make_unique<CableSet>();
    std::string why;
    if (!ImportCableSetJson(text.str(), *set, why)) return Error(path + ": " + why);
    model_.Plug(set->cables[number - 1].connections);
    return kOk;
  }
  return Error("plug takes: cbl INDEX PATH | json NUMBER PATH | straight N | nothing | nets A01,B01 ...");
}

std::string UnitControl::Probe(const std::vector<std::string_view>& words, uint64_t nowMs) {
  if (words.size() == 2 && words[1] == "period?") return "ok " + std::to_string(model_.ProbePeriodMs()) + "\n";
  if (words.size() >= 2 && words[1] == "period") {
    uint32_t ms = 0;
    if (words.size() != 3 || !Number(words[2], ms)) return Error("probe period takes milliseconds, 0 back to back");
    model_.SetProbePeriodMs(ms);
    return kOk;
  }
  PinSet pins{};
  std::string bad;
  if (!ParsePins(words, 1, pins, bad)) return Error("'" + bad + "' is not a pin label (A01..A50, B01..B50, C01..C04)");
  if (!model_.ProbeAt(nowMs, pins)) return Error("the probe script is full");
  return kOk;
}

std::string UnitControl::Fault(const std::vector<std::string_view>& words) {
  if (words.size() != 3) return Error("fault takes a name and a value");
  const std::string_view name = words[1];
  const std::string_view value = words[2];
  UnitFaults& f = model_.Faults();
  bool* flag = name == "noAnswer"               ? &f.noAnswer
               : name == "garbageBetweenFrames" ? &f.garbageBetweenFrames
               : name == "badChecksum"          ? &f.badChecksum
               : name == "badEtx"               ? &f.badEtx
               : name == "lostStx"              ? &f.lostStx
               : name == "lostByte"             ? &f.lostByte
               : name == "lostEnd"              ? &f.lostEnd
               : name == "unknownLetters"       ? &f.unknownLetters
               : name == "pinOutOfRange"        ? &f.pinOutOfRange
                                                : nullptr;
  if (flag != nullptr) {
    return Switch(value, *flag) ? kOk : Error(std::string(name) + " takes on or off");
  }
  uint32_t* amount = name == "firstFrameDelayMs" ? &f.firstFrameDelayMs
                     : name == "splitChunk"      ? &f.splitChunk
                     : name == "chunkGapMs"      ? &f.chunkGapMs
                                                 : nullptr;
  if (amount != nullptr) {
    return Number(value, *amount) ? kOk : Error(std::string(name) + " takes a number 0.." +
                                                std::to_string(std::numeric_limits<uint32_t>::max()));
  }
  if (name == "dsrDropAfterFrames" || name == "burstFrames") {
    int count = 0;
    const int least = name == "burstFrames" ? 0 : -1;
    if (!Number(value, count) || count < least) {
      return Error(std::string(name) + " takes a number from " + std::to_string(least));
    }
    (name == "burstFrames" ? f.burstFrames : f.dsrDropAfterFrames) = count;
    return kOk;
  }
  if (name == "faultAnswer") {
    if (value == "any") {
      f.faultAnswer = 0;
      return kOk;
    }
    if (value.size() != 1 || std::string_view("SOPRW").find(value[0]) == std::string_view::npos) {
      return Error("faultAnswer takes S, O, P, R, W or any");
    }
    f.faultAnswer = value[0];
    return kOk;
  }
  std::string names;
  for (const FaultName& fault : kFaultNames) names += (names.empty() ? "" : " ") + std::string(fault.name);
  return Error("unknown fault '" + std::string(name) + "' (" + names + ")");
}

std::string UnitControl::Expected() const {
  std::string reply;
  const ConnectionRow(&rows)[kPinCount] = model_.ExpectedWiring();
  for (unsigned p = 0; p < kPinCount; ++p) {
    PinSet own{};
    PinSetAdd(own, p);
    if (std::memcmp(rows[p].bits.bytes, own.bytes, sizeof own.bytes) == 0) continue;
    reply += PinLabel(p) + ": " + Labels(rows[p].bits) + "\n";
  }
  return reply + kOk;
}
