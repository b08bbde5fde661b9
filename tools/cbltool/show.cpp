#include "cbltool/show.h"

#include <algorithm>
#include <string>
#include <vector>

#include "cbltool/set_text.h"

namespace {

const char* const kInfoLabels[5] = {"Product No.", "Model/Customer", "Block Name", "Cable Type", "Comment"};
constexpr size_t kLabelWidth = 15;  // the longest label and a blank

// Terminal columns of UTF-8 text: East Asian wide characters take two, so the
// pin-name table stays aligned with Japanese names.
size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (size_t i = 0; i < text.size();) {
    const uint32_t cp = NextCodePoint(text, i);
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                      (cp >= 0xFFE0 && cp <= 0xFFE6) || cp >= 0x20000;
    width += wide ? 2 : 1;
  }
  return width;
}

std::string PinName(const CableRecord& cable, unsigned pin) {
  return Escaped(FieldToUtf8(cable.pinNames[pin], kPinNameUnits));
}

std::string PinWithName(const CableRecord& cable, unsigned pin) {
  return PinLabel(pin) + "(" + PinName(cable, pin) + ")";
}

std::string Padded(const char* label) {
  std::string text = label;
  text.resize(kLabelWidth, ' ');
  return text;
}

void PrintInfo(const CableRecord& cable, std::ostream& out) {
  for (int f = 0; f < 5; ++f) {
    const std::string label = Padded(kInfoLabels[f]);
    const std::string text = FieldToUtf8(InfoField(cable, kInfoFields[f]), kInfoFields[f].units);
    // Comments keep their CR LF line breaks; continuation lines line up under the first.
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\r' || text[i] == '\n') {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        lines.emplace_back();
      } else {
        lines.back() += text[i];
      }
    }
    out << "  " << label << ':' << (lines[0].empty() ? "" : " ") << Escaped(lines[0]) << '\n';
    for (size_t i = 1; i < lines.size(); ++i) {
      out << std::string(kLabelWidth + 4, ' ') << Escaped(lines[i]) << '\n';
    }
  }
  out << "  " << Padded("Selected pin") << ": ";
  if (cable.selectedPin < kPinCount) {
    out << PinWithName(cable, cable.selectedPin) << '\n';
  } else if (cable.selectedPin == kNoPin) {
    out << "none\n";
  } else {
    out << "invalid (" << static_cast<unsigned>(cable.selectedPin) << ")\n";
  }
}

std::string NameCell(const CableRecord& cable, unsigned pin) {
  return PinLabel(pin) + " '" + PinName(cable, pin) + "'";
}

// As many columns as the longest name lets fit in 80 columns.
void PrintPinNames(const CableRecord& cable, std::ostream& out) {
  size_t cellWidth = 0;
  for (unsigned p = 0; p < kPinCount; ++p) cellWidth = std::max(cellWidth, DisplayWidth(NameCell(cable, p)) + 2);
  const unsigned columns = std::max<unsigned>(1, static_cast<unsigned>(76 / cellWidth));
  out << "  Pin names:\n";
  // One block per connector, so each starts on a fresh line.
  const unsigned blocks[][2] = {{0, 50}, {50, 100}, {100, 104}};
  for (const auto& block : blocks) {
    std::string line;
    size_t width = 0;
    unsigned column = 0;
    for (unsigned p = block[0]; p < block[1]; ++p) {
      const std::string cell = NameCell(cable, p);
      if (column > 0) line.append(cellWidth - width, ' ');
      line += cell;
      width = DisplayWidth(cell);
      if (++column == columns || p + 1 == block[1]) {
        out << "    " << line << '\n';
        line.clear();
        column = 0;
      }
    }
  }
}

// Nets are the connected components of the rows taken as undirected edges:
// a one-way entry still joins two pins, as the tester sees a wire either way.
void PrintNets(const CableRecord& cable, std::ostream& out) {
  unsigned parent[kPinCount];
  for (unsigned p = 0; p < kPinCount; ++p) parent[p] = p;
  auto root = [&](unsigned p) {
    while (parent[p] != p) {
      parent[p] = parent[parent[p]];
      p = parent[p];
    }
    return p;
  };
  for (unsigned row = 0; row < kPinCount; ++row) {
    for (unsigned q = 0; q < kPinCount; ++q) {
      if (q == row || !PinSetHas(cable.connections[row].bits, q)) continue;
      const unsigned a = root(row), b = root(q);
      // The smaller pin stays the root, so nets come out in order of their first pin.
      if (a < b) parent[b] = a;
      if (b < a) parent[a] = b;
    }
  }
  std::vector<std::string> nets;
  for (unsigned first = 0; first < kPinCount; ++first) {
    if (root(first) != first) continue;
    std::string net;
    int members = 0;
    for (unsigned p = first; p < kPinCount; ++p) {
      if (root(p) != first) continue;
      if (members++ > 0) net += ' ';
      net += PinWithName(cable, p);
    }
    if (members > 1) nets.push_back(net);
  }
  if (nets.empty()) {
    out << "  Connections: none\n";
    return;
  }
  out << "  Connections (" << nets.size() << (nets.size() == 1 ? " net" : " nets") << "):\n";
  for (const std::string& net : nets) out << "    " << net << '\n';
}

void PrintProbePins(const CableRecord& cable, std::ostream& out) {
  out << "  Probe pins:";
  int count = 0;
  for (unsigned p = 0; p < kPinCount; ++p) {
    if (!PinSetHas(cable.probeData.pins, p)) continue;
    out << ' ' << PinWithName(cable, p);
    ++count;
  }
  out << (count == 0 ? " none\n" : "\n");
}

}  // namespace

void PrintCableSet(const CableSet& set, int cableIndex, std::ostream& out) {
  out << "Tag: '" << Escaped(FieldToUtf8(set.tag, kTagUnits)) << "'   Current cable: ";
  if (set.currentCable < kCableCount) {
    out << set.currentCable + 1 << "\n\n";
  } else {
    out << "invalid (" << static_cast<unsigned>(set.currentCable) << ")\n\n";
  }
  for (int k = 0; k < kCableCount; ++k) {
    if (cableIndex >= 0 && k != cableIndex) continue;
    const CableRecord& cable = set.cables[k];
    out << "Cable " << k + 1 << (k == set.currentCable ? " (current)" : "") << '\n';
    PrintInfo(cable, out);
    PrintPinNames(cable, out);
    PrintNets(cable, out);
    PrintProbePins(cable, out);
    if (cableIndex < 0 && k + 1 < kCableCount) out << '\n';
  }
}
