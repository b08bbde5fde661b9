#include "cbltool/set_json.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "cbltool/set_text.h"
#include "common/text.h"

using nlohmann::json;

namespace {

// ---- Export -------------------------------------------------------------

// JSON escapes C0 itself; the other controls become escapes JSON reads back
// as the same text.
std::string Quoted(const std::string& utf8) { return Escaped(json(utf8).dump()); }

// The text as import takes it back: one without a terminator loses its last
// unit here, and "bytes" gives it back.
std::string QuotedField(const char16_t* field, size_t capacity) { return Quoted(FieldToUtf8(field, capacity - 1)); }

std::string LabelList(const PinSet& pins) {
  std::string list = "[";
  for (unsigned p = 0; p < kPinCount; ++p) {
    if (!PinSetHas(pins, p)) continue;
    if (list.size() > 1) list += ", ";
    list += Quoted(PinLabel(p));
  }
  return list + "]";
}

void ExportCable(const CableRecord& cable, int number, std::ostream& out) {
  out << "    {\n      \"number\": " << number << ",\n      \"info\": {";
  for (size_t f = 0; f < 5; ++f) {
    const TextField& field = kInfoFields[f];
    out << (f ? ",\n               " : "") << Quoted(field.name) << ": "
        << QuotedField(InfoField(cable, field), field.units);
  }
  // Eight names a line keeps 104 of them readable without a line each.
  out << "},\n      \"pinNames\": [";
  for (unsigned p = 0; p < kPinCount; ++p) {
    out << (p == 0 ? "\n        " : p % 8 == 0 ? ",\n        " : ", ") << QuotedField(cable.pinNames[p], kPinNameUnits);
  }
  out << "\n      ],\n      \"connections\": [";
  for (unsigned p = 0; p < kPinCount; ++p) {
    const ConnectionRow& row = cable.connections[p];
    // A value import would refuse is left out: the default stands in and "bytes" holds the stored one.
    out << (p ? "," : "") << "\n        {";
    if (row.pin >= 1 && row.pin <= kPinCount) out << "\"pin\": " << static_cast<unsigned>(row.pin) << ", ";
    out << "\"connected\": " << LabelList(row.bits) << "}";
  }
  out << "\n      ],\n      \"probe\": {\"reserved\": " << static_cast<unsigned>(cable.probeData.reserved)
      << ", \"pins\": " << LabelList(cable.probeData.pins) << "}";
  if (cable.selectedPin < kPinCount || cable.selectedPin == kNoPin) {
    out << ",\n      \"selectedPin\": " << static_cast<unsigned>(cable.selectedPin);
  }
  out << ",\n      \"alignment\": " << static_cast<unsigned>(cable.alignment) << "\n    }";
}

// ---- Import -------------------------------------------------------------

struct ImportFailure {
  std::string message;
};

std::string PlaceName(const std::string& place) { return place.empty() ? "top level" : place; }

[[noreturn]] void Fail(const std::string& place, const std::string& what) {
  throw ImportFailure{PlaceName(place) + ": " + what};
}

std::string Member(const std::string& place, const std::string& key) { return place.empty() ? key : place + "." + key; }

std::string Element(const std::string& place, size_t index) { return place + "[" + std::to_string(index) + "]"; }

// Long texts are cut in the message, at a character boundary.
std::string Excerpt(const std::string& text) {
  constexpr size_t kMax = 40;
  if (text.size() <= kMax) return "'" + Escaped(text) + "'";
  size_t cut = kMax;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return "'" + Escaped(text.substr(0, cut)) + "...'";
}

std::string Describe(const json& value) {
  if (value.is_string()) return "the text " + Excerpt(value.get_ref<const std::string&>());
  if (value.is_number() || value.is_boolean() || value.is_null()) return value.dump();
  return std::string("an ") + value.type_name();
}

void ExpectObject(const json& value, const std::string& place, std::initializer_list<const char*> keys) {
  if (!value.is_object()) Fail(place, "expected an object, got " + Describe(value));
  for (const auto& item : value.items()) {
    if (std::none_of(keys.begin(), keys.end(), [&](const char* k) { return item.key() == k; })) {
      Fail(place, "unknown key " + Excerpt(item.key()));
    }
  }
}

void ExpectArray(const json& value, const std::string& place, size_t minimum, size_t maximum) {
  if (!value.is_array()) Fail(place, "expected an array, got " + Describe(value));
  const size_t n = value.size();
  if (n < minimum || n > maximum) {
    const std::string expected = minimum == maximum ? std::to_string(minimum)
                                 : n < minimum      ? "at least " + std::to_string(minimum)
                                                    : "at most " + std::to_string(maximum);
    Fail(place, "has " + std::to_string(n) + (n == 1 ? " entry" : " entries") + ", expected " + expected);
  }
}

uint64_t Whole(const json& value, const std::string& place, uint64_t low, uint64_t high, bool orNoPin = false) {
  if (!value.is_number_integer()) Fail(place, "expected a whole number, got " + Describe(value));
  const bool negative = !value.is_number_unsigned() && value.get<int64_t>() < 0;
  const uint64_t n = negative ? UINT64_MAX : value.get<uint64_t>();
  if (!negative && ((n >= low && n <= high) || (orNoPin && n == kNoPin))) return n;
  Fail(place, value.dump() + " is out of range " + std::to_string(low) + ".." + std::to_string(high) +
                  (orNoPin ? " or 255" : ""));
}

uint8_t Number(const json& value, const std::string& place, unsigned low, unsigned high, bool orNoPin = false) {
  return static_cast<uint8_t>(Whole(value, place, low, high, orNoPin));
}

void Text(const json& value, const std::string& place, char16_t* field, size_t capacity) {
  if (!value.is_string()) Fail(place, "expected a text, got " + Describe(value));
  const std::string& utf8 = value.get_ref<const std::string&>();
  std::vector<char16_t> units(utf8.size() + 1);
  const size_t n = Utf8ToUtf16(utf8.data(), utf8.size(), units.data(), units.size());
  if (n == SIZE_MAX) Fail(place, "is not valid UTF-8");
  // A NUL would end the field early and silently drop the rest.
  if (std::find(units.begin(), units.begin() + static_cast<ptrdiff_t>(n), u'\0') !=
      units.begin() + static_cast<ptrdiff_t>(n)) {
    Fail(place, "contains a NUL character");
  }
  if (n > capacity - 1) Fail(place, Excerpt(utf8) + " is longer than " + std::to_string(capacity - 1) + " characters");
  CopyText(field, capacity, units.data());
}

unsigned Label(const json& value, const std::string& place) {
  if (!value.is_string()) Fail(place, "expected a pin label such as \"A01\", got " + Describe(value));
  const int pin = FindPinLabel(value.get_ref<const std::string&>());
  if (pin < 0) Fail(place, "unknown pin label " + Excerpt(value.get_ref<const std::string&>()));
  return static_cast<unsigned>(pin);
}

void Labels(const json& value, const std::string& place, PinSet& pins) {
  ExpectArray(value, place, 0, SIZE_MAX);
  PinSetClear(pins);
  for (size_t i = 0; i < value.size(); ++i) {
    const unsigned pin = Label(value[i], Element(place, i));
    if (PinSetHas(pins, pin)) Fail(Element(place, i), "'" + PinLabel(pin) + "' is listed twice");
    PinSetAdd(pins, pin);
  }
}

void ImportNets(const json& value, const std::string& place, ConnectionRow (&rows)[kPinCount]) {
  ExpectArray(value, place, 0, SIZE_MAX);
  int netOf[kPinCount];
  std::fill(std::begin(netOf), std::end(netOf), -1);
  for (size_t n = 0; n < value.size(); ++n) {
    const std::string netPlace = Element(place, n);
    ExpectArray(value[n], netPlace, 1, SIZE_MAX);
    std::vector<unsigned> pins;
    for (size_t i = 0; i < value[n].size(); ++i) {
      const unsigned pin = Label(value[n][i], Element(netPlace, i));
      if (netOf[pin] >= 0) {
        Fail(Element(netPlace, i),
             "'" + PinLabel(pin) + "' is already in " + Element(place, static_cast<size_t>(netOf[pin])));
      }
      netOf[pin] = static_cast<int>(n);
      pins.push_back(pin);
    }
    for (unsigned a : pins) {
      for (unsigned b : pins) PinSetAdd(rows[a].bits, b);
    }
  }
}

void ImportCable(const json& value, const std::string& place, CableRecord& cable) {
  if (value.contains("info")) {
    const json& info = value["info"];
    const std::string infoPlace = Member(place, "info");
    ExpectObject(info, infoPlace, {"productNo", "modelCustomer", "blockName", "cableType", "comment"});
    for (const TextField& field : kInfoFields) {
      if (info.contains(field.name)) {
        Text(info[field.name], Member(infoPlace, field.name), InfoField(cable, field), field.units);
      }
    }
  }
  if (value.contains("pinNames")) {
    const std::string names = Member(place, "pinNames");
    ExpectArray(value["pinNames"], names, kPinCount, kPinCount);
    for (size_t p = 0; p < kPinCount; ++p) {
      Text(value["pinNames"][p], Element(names, p), cable.pinNames[p], kPinNameUnits);
    }
  }
  if (value.contains("connections")) {
    const std::string rows = Member(place, "connections");
    ExpectArray(value["connections"], rows, kPinCount, kPinCount);
    for (size_t p = 0; p < kPinCount; ++p) {
      const json& row = value["connections"][p];
      const std::string rowPlace = Element(rows, p);
      ExpectObject(row, rowPlace, {"pin", "connected"});
      if (row.contains("pin")) cable.connections[p].pin = Number(row["pin"], Member(rowPlace, "pin"), 1, kPinCount);
      if (row.contains("connected")) Labels(row["connected"], Member(rowPlace, "connected"), cable.connections[p].bits);
    }
  }
  if (value.contains("nets")) ImportNets(value["nets"], Member(place, "nets"), cable.connections);
  if (value.contains("probe")) {
    const json& probe = value["probe"];
    const std::string probePlace = Member(place, "probe");
    ExpectObject(probe, probePlace, {"reserved", "pins"});
    if (probe.contains("reserved")) {
      cable.probeData.reserved = Number(probe["reserved"], Member(probePlace, "reserved"), 0, 255);
    }
    if (probe.contains("pins")) Labels(probe["pins"], Member(probePlace, "pins"), cable.probeData.pins);
  }
  if (value.contains("selectedPin")) {
    cable.selectedPin = Number(value["selectedPin"], Member(place, "selectedPin"), 0, kPinCount - 1, true);
  }
  if (value.contains("alignment")) cable.alignment = Number(value["alignment"], Member(place, "alignment"), 0, 255);
}

// Laid over the set after every other key, so that a damaged set comes back
// byte for byte.
void ImportBytes(const json& value, CableSet& set) {
  ExpectArray(value, "bytes", 0, SIZE_MAX);
  auto* image = reinterpret_cast<uint8_t*>(&set);
  for (size_t i = 0; i < value.size(); ++i) {
    const std::string place = Element("bytes", i);
    ExpectObject(value[i], place, {"offset", "hex"});
    if (!value[i].contains("offset") || !value[i].contains("hex")) Fail(place, "needs both \"offset\" and \"hex\"");
    const uint64_t offset = Whole(value[i]["offset"], Member(place, "offset"), 0, sizeof set - 1);
    const json& hex = value[i]["hex"];
    const std::string hexPlace = Member(place, "hex");
    if (!hex.is_string()) Fail(hexPlace, "expected a text, got " + Describe(hex));
    const std::string& digits = hex.get_ref<const std::string&>();
    if (digits.empty() || digits.size() % 2 != 0 || digits.find_first_not_of("0123456789abcdefABCDEF") != digits.npos) {
      Fail(hexPlace, Excerpt(digits) + " is not pairs of hex digits");
    }
    if (offset + digits.size() / 2 > sizeof set) {
      Fail(hexPlace, "runs past the end of the set (" + std::to_string(sizeof set) + " bytes)");
    }
    for (size_t k = 0; k < digits.size(); k += 2) {
      image[offset + k / 2] = static_cast<uint8_t>(std::stoul(digits.substr(k, 2), nullptr, 16));
    }
  }
}

void ImportSet(const json& root, CableSet& set) {
  ExpectObject(root, "", {"tag", "reserved", "currentCable", "cables", "bytes"});
  if (root.contains("tag")) Text(root["tag"], "tag", set.tag, kTagUnits);
  if (root.contains("reserved")) set.reserved = Number(root["reserved"], "reserved", 0, 255);
  if (root.contains("currentCable")) {
    set.currentCable = Number(root["currentCable"], "currentCable", 0, kCableCount - 1);
  }
  if (!root.contains("cables")) return;
  const json& cables = root["cables"];
  ExpectArray(cables, "cables", 0, kCableCount);
  int listedAt[kCableCount];
  std::fill(std::begin(listedAt), std::end(listedAt), -1);
  for (size_t i = 0; i < cables.size(); ++i) {
    const std::string place = Element("cables", i);
    const json& cable = cables[i];
    ExpectObject(cable, place,
                 {"number", "info", "pinNames", "connections", "nets", "probe", "selectedPin", "alignment"});
    const int number = cable.contains("number") ? Number(cable["number"], Member(place, "number"), 1, kCableCount)
                                                : static_cast<int>(i) + 1;
    int& seen = listedAt[number - 1];
    if (seen >= 0) {
      Fail(place, "cable number " + std::to_string(number) + " appears twice (also " +
                      Element("cables", static_cast<size_t>(seen)) + ")");
    }
    seen = static_cast<int>(i);
    ImportCable(cable, place, set.cables[number - 1]);
  }
}

// Value-initialized, so text after each terminator is zero as in a new file.
std::unique_ptr<CableSet> BuildSet(const json& root) {
  auto set = std::make_unique<CableSet>();
  InitCableSet(*set);
  ImportSet(root, *set);
  if (root.contains("bytes")) ImportBytes(root["bytes"], *set);
  return set;
}

// The stored bytes the readable fields do not give back: damaged values, text
// after terminators, unpaired surrogates. UTF-16 text differs in every other
// byte, so differences a few bytes apart make one entry.
void ExportBytes(const CableSet& set, const CableSet& shown, std::ostream& out) {
  constexpr size_t kJoin = 8;
  const auto* want = reinterpret_cast<const uint8_t*>(&set);
  const auto* have = reinterpret_cast<const uint8_t*>(&shown);
  bool any = false;
  for (size_t i = 0; i < sizeof set; ++i) {
    if (want[i] == have[i]) continue;
    size_t last = i;
    for (size_t k = i + 1; k < sizeof set && k <= last + kJoin; ++k) {
      if (want[k] != have[k]) last = k;
    }
    out << (any ? ",\n    " : ",\n  \"bytes\": [\n    ") << "{\"offset\": " << i << ", \"hex\": \"";
    any = true;
    for (size_t k = i; k <= last; ++k) {
      char digits[3];
      std::snprintf(digits, sizeof digits, "%02X", want[k]);
      out << digits;
    }
    out << "\"}";
    i = last;
  }
  if (any) out << "\n  ]";
}

// The DOM keeps only the last of two equal keys; this pass finds them first,
// along with syntax errors, and names the place of each.
class JsonPrecheck final : public nlohmann::json_sax<json> {
 public:
  std::string error;

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t&) override { return Value(); }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(false); }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(true); }
  bool end_array() override { return Close(); }
  bool key(string_t& key) override {
    Frame& frame = frames_.back();
    if (!frame.keys.insert(key).second) {
      error = PlaceName(frame.place) + ": key " + Excerpt(key) + " appears twice";
      return false;
    }
    frame.key = key;
    return true;
  }
  bool parse_error(std::size_t, const std::string&, const nlohmann::detail::exception& ex) override {
    // Drop the library's "[json.exception.parse_error.101] " prefix.
    std::string what = ex.what();
    const size_t end = what.find("] ");
    if (end != std::string::npos) what.erase(0, end + 2);
    // The message quotes the input, which may be the very bytes that are not UTF-8.
    std::vector<char16_t> units(what.size() + 1);
    if (Utf8ToUtf16(what.data(), what.size(), units.data(), units.size()) == SIZE_MAX) {
      for (char& c : what) {
        if (static_cast<unsigned char>(c) >= 0x80) c = '?';
      }
    }
    error = Escaped(what);
    return false;
  }

 private:
  struct Frame {
    bool array;
    size_t count;
    std::string place;
    std::set<std::string> keys;
    std::string key;
  };
  std::string NextPlace() {
    if (frames_.empty()) return "";
    Frame& frame = frames_.back();
    return frame.array ? Element(frame.place, frame.count++) : Member(frame.place, frame.key);
  }
  bool Value() {
    if (!frames_.empty() && frames_.back().array) ++frames_.back().count;
    return true;
  }
  bool Open(bool array) {
    // A cable set nests six deep; refusing far deeper input early keeps a
    // hostile file from costing memory and time.
    constexpr size_t kMaxDepth = 32;
    std::string place = NextPlace();
    if (frames_.size() >= kMaxDepth) {
      error = PlaceName(place) + ": nested too deeply";
      return false;
    }
    frames_.push_back(Frame{array, 0, std::move(place), {}, {}});
    return true;
  }
  bool Close() {
    frames_.pop_back();
    return true;
  }
  std::vector<Frame> frames_;
};

}  // namespace

std::string ExportCableSetJson(const CableSet& set) {
  std::ostringstream out;
  out << "{\n  \"tag\": " << QuotedField(set.tag, kTagUnits)
      << ",\n  \"reserved\": " << static_cast<unsigned>(set.reserved);
  if (set.currentCable < kCableCount) out << ",\n  \"currentCable\": " << static_cast<unsigned>(set.currentCable);
  out << ",\n  \"cables\": [\n";
  for (int k = 0; k < kCableCount; ++k) {
    ExportCable(set.cables[k], k + 1, out);
    out << (k + 1 < kCableCount ? ",\n" : "\n");
  }
  out << "  ]";
  // What import makes of the readable part tells which bytes it cannot show.
  std::unique_ptr<CableSet> shown;
  try {
    shown = BuildSet(json::parse(out.str() + "}"));
  } catch (const ImportFailure& failure) {
    throw std::logic_error("export wrote what import refuses: " + failure.message);
  }
  ExportBytes(set, *shown, out);
  out << "\n}\n";
  return out.str();
}

bool ImportCableSetJson(std::string_view text, CableSet& set, std::string& error) {
  JsonPrecheck precheck;
  if (!json::sax_parse(text.begin(), text.end(), &precheck)) {
    error = precheck.error.empty() ? "not valid JSON" : precheck.error;
    return false;
  }
  try {
    const auto staging = BuildSet(json::parse(text.begin(), text.end()));
    std::memcpy(&set, staging.get(), sizeof set);
    return true;
  } catch (const ImportFailure& failure) {
    error = failure.message;
  } catch (const json::exception& e) {
    error = e.what();
  }
  return false;
}
