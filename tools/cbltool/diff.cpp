#include "cbltool/diff.h"

#include <algorithm>
#include <map>
#include <vector>

#include "cbltool/set_text.h"

namespace {

using Net = std::vector<std::string>;  // pin keys, in pin order

struct CableNets {
  std::string key[kPinCount];
  std::string shown[kPinCount];
  std::vector<Net> nets;                   // of two pins or more
  std::map<std::string, const Net*> netOf;  // pin key -> its net
};

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A pin with no name, or one its cable gives twice, is known by its place
// ("(A01)"), which no name can be mistaken for.
void KeyPins(const CableRecord& cable, CableNets& c) {
  std::map<std::string, int> uses;
  std::string names[kPinCount];
  for (unsigned p = 0; p < kPinCount; ++p) ++uses[names[p] = Trimmed(FieldToUtf8(cable.pinNames[p], kPinNameUnits))];
  for (unsigned p = 0; p < kPinCount; ++p) {
    const bool byName = !names[p].empty() && uses[names[p]] == 1;
    c.key[p] = byName ? names[p] : names[p] + "(" + PinLabel(p) + ")";
    c.shown[p] = Escaped(c.key[p]);
  }
}

// Nets as the tester sees wires: either direction of an entry joins two pins.
void FindNets(const CableRecord& cable, CableNets& c) {
  int netIndex[kPinCount];
  std::fill(std::begin(netIndex), std::end(netIndex), -1);
  std::vector<std::vector<unsigned>> members;
  for (unsigned start = 0; start < kPinCount; ++start) {
    if (netIndex[start] >= 0) continue;
    const int index = static_cast<int>(members.size());
    std::vector<unsigned> found{start};
    netIndex[start] = index;
    for (size_t i = 0; i < found.size(); ++i) {
      for (unsigned q = 0; q < kPinCount; ++q) {
        const unsigned p = found[i];
        if (netIndex[q] < 0 && (PinSetHas(cable.connections[p].bits, q) || PinSetHas(cable.connections[q].bits, p))) {
          netIndex[q] = index;
          found.push_back(q);
        }
      }
    }
    std::sort(found.begin(), found.end());
    members.push_back(found);
  }
  for (const auto& pins : members) {
    if (pins.size() < 2) continue;
    Net net;
    for (unsigned p : pins) net.push_back(c.key[p]);
    c.nets.push_back(net);
  }
  for (const Net& net : c.nets)
    for (const std::string& key : net) c.netOf[key] = &net;
}

Net Sorted(Net net) {
  std::sort(net.begin(), net.end());
  return net;
}

std::string Shown(const Net& net, const std::map<std::string, std::string>& shown, const std::string* skip = nullptr) {
  std::string text;
  for (const std::string& key : net) {
    if (skip != nullptr && key == *skip) continue;
    if (!text.empty()) text += ' ';
    text += shown.at(key);
  }
  return text;
}

std::vector<const Net*> NetsOnlyIn(const CableNets& one, const CableNets& other) {
  std::vector<Net> otherSorted;
  for (const Net& net : other.nets) otherSorted.push_back(Sorted(net));
  std::vector<const Net*> only;
  for (const Net& net : one.nets)
    if (std::find(otherSorted.begin(), otherSorted.end(), Sorted(net)) == otherSorted.end()) only.push_back(&net);
  return only;
}

bool SharesAPartner(const Net& a, const Net& b, const std::string& pin) {
  for (const std::string& key : a)
    if (key != pin && std::find(b.begin(), b.end(), key) != b.end()) return true;
  return false;
}

}  // namespace

bool SplitCableArgument(const std::string& argument, std::string& file, int& cable) {
  file = argument;
  cable = 0;
  const size_t colon = argument.rfind(':');
  if (colon == std::string::npos || colon + 1 == argument.size() || colon == 0) return true;
  const std::string number = argument.substr(colon + 1);
  if (number.find_first_not_of("0123456789") != std::string::npos) return true;  // C:\sets\a.cbl
  file = argument.substr(0, colon);
  cable = number.size() <= 2 ? std::stoi(number) : 0;
  return cable >= 1 && cable <= kCableCount;
}

bool PrintCableDiff(const CableRecord& a, const std::string& nameA, const CableRecord& b, const std::string& nameB,
                    std::ostream& out) {
  CableNets na, nb;
  KeyPins(a, na);
  KeyPins(b, nb);
  FindNets(a, na);
  FindNets(b, nb);
  std::map<std::string, std::string> shown;
  for (unsigned p = 0; p < kPinCount; ++p) {
    shown.emplace(na.key[p], na.shown[p]);
    shown.emplace(nb.key[p], nb.shown[p]);
  }
  const std::vector<const Net*> onlyA = NetsOnlyIn(na, nb), onlyB = NetsOnlyIn(nb, na);
  if (onlyA.empty() && onlyB.empty()) {
    out << nameA << " and " << nameB << " have the same connections\n";
    return false;
  }
  const auto list = [&](const std::vector<const Net*>& nets, const std::string& name) {
    if (nets.empty()) return;
    out << "Only in " << name << " (" << nets.size() << (nets.size() == 1 ? " net):\n" : " nets):\n");
    for (const Net* net : nets) out << "  " << Shown(*net, shown) << '\n';
  };
  list(onlyA, nameA);
  list(onlyB, nameB);
  // A pin that kept none of its partners moved: the rest of its old and new
  // nets only changed because of it.
  std::vector<std::string> moved;
  for (const Net* net : onlyA) {
    for (const std::string& pin : *net) {
      const auto there = nb.netOf.find(pin);
      if (there == nb.netOf.end() || SharesAPartner(*net, *there->second, pin)) continue;
      moved.push_back("  " + shown.at(pin) + ": with " + Shown(*net, shown, &pin) + " in " + nameA + ", with " +
                      Shown(*there->second, shown, &pin) + " in " + nameB + '\n');
    }
  }
  if (!moved.empty()) {
    out << "Moved (" << moved.size() << (moved.size() == 1 ? " pin):\n" : " pins):\n");
    for (const std::string& line : moved) out << line;
  }
  return true;
}
