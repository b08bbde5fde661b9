#pragma once
// What the panel tests share: a PanelRig per test, cables whose pins are
// named after their cable ("c3:B07"), and the counters as the panel holds them.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/panel_rig.h"
#include "support/pins.h"
#include "support/unit_frames.h"

constexpr uint16_t Cell(unsigned pin) { return static_cast<uint16_t>(kPinCellBase + pin); }

inline std::u16string Name(int cable, unsigned pin) {
  std::u16string s = u"c";
  s += static_cast<char16_t>(u'0' + cable);
  s += u':';
  return s + DefaultPinLabels[pin];
}

// Gives every pin of a cable the name Name() says.
inline void NameCable(CableRecord& cable, int index) {
  for (unsigned k = 0; k < kPinCount; ++k) {
    const std::u16string name = Name(index, k);
    name.copy(cable.pinNames[k], name.size());
    cable.pinNames[k][name.size()] = 0;
  }
}

class PanelFixture : public ::testing::Test {
 protected:
  PanelFixture() {
    NameCable(rig.Cable(0), 0);
    NameCable(rig.Cable(3), 3);
  }

  void Plug(const Rows& rows) {
    rig.Unit([&](TesterModel& m) { m.Plug(rows.rows); });
  }
  std::vector<uint16_t> Counters(TestMode mode) {
    const uint16_t(&v)[4] = rig.state.counters.values[mode];
    return {v[0], v[1], v[2], v[3]};
  }
  // The four counters as the panel shows them: OK, NG, Skip, Total.
  std::vector<std::u16string> ShownCounters() {
    std::vector<std::u16string> shown;
    for (uint16_t i = 0; i < 4; ++i) shown.push_back(rig.widgets.texts[static_cast<uint16_t>(kOkCounter + i)]);
    return shown;
  }

  std::unique_ptr<PanelRig> owner = std::make_unique<PanelRig>();
  PanelRig& rig = *owner;
};
