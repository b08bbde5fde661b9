// Names for runs of pins, and the pin-name editor's rules.
#include "editors/consecutive_number.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>

#include "common/text.h"
#include "editors/edit_cable_data.h"
#include "support/pins.h"

namespace {

constexpr unsigned kAsTyped = 255;  // the form's own list entries

struct Naming {
  ConsecutiveNumberSettings settings;
  CableRecord record{};

  Naming() {
    for (auto& name : record.pinNames) CopyText(name, kPinNameUnits, u"old");
  }
  // OK in the dialog opened on pin `first`: 0 when the names were written,
  // else the message id.
  uint16_t Ok(unsigned first, ConsecutiveNumberForm form) {
    const StartingPosition at = StartingPositionOf(static_cast<uint8_t>(first));
    if (first != kAsTyped) std::tie(form.connector, form.pinEntry) = std::tuple(at.connector, at.pinEntry);
    const uint16_t message = ValidateConsecutiveNumber(form, settings);
    if (message == 0) GeneratePinNames(form, settings, record);
    return message;
  }
  // The names of `count` pins from `first` on, "A01 1|old".
  std::u16string Of(unsigned first, unsigned count = 1) const {
    std::u16string names;
    for (unsigned p = first; p < first + count; ++p)
      names += (p == first ? u"" : u"|") + std::u16string(record.pinNames[p]);
    return names;
  }
};

TEST(ConsecutiveNumber, NumbersLettersWidthsStepsAndWraps) {
  const struct {
    unsigned first;
    ConsecutiveNumberForm form;
    std::u16string names;  // from the first pin on
  } cases[] = {
      {B(10), {.fixedName = u"GND", .repeatCount = u"3", .start = u"01"}, u"B10 GND01|B11 GND02|B12 GND03|old"},
      {A(1), {.fixedName = u"SIG", .repeatCount = u"4", .skipOne = true, .start = u"5", .descending = true},
       u"A01 SIG5|old|A03 SIG4|old|A05 SIG3|old|A07 SIG2|old"},
      {A(1), {.repeatCount = u"3", .start = u"1", .descending = true}, u"A01 1|A02 0|A03 999"},
      {A(1), {.repeatCount = u"2", .start = u"999"}, u"A01 999|A02 1"},
      {A(1), {.fixedName = u"ABCDE", .repeatCount = u"2", .start = u"99"}, u"A01 ABCDE99|A02ABCDE100"},
      {A(1), {.fixedName = u"ABCDE", .repeatCount = u"2", .start = u"007"}, u"A01ABCDE007|A02ABCDE008"},
      {A(1), {.fixedName = u"AB", .repeatCount = u"1", .start = u"070"}, u"A01 AB70"},  // two digits
      {A(1), {.fixedName = u"P", .repeatCount = u"2", .omitPinLabel = true, .start = u"1"}, u"P1|P2|old"},
      {C(3), {.repeatCount = u"2", .start = u" 8 "}, u"C03 8|C04 9"},
      {C(1), {.repeatCount = u"3", .kind = kAlphabet, .start = u"Y"}, u"C01 Y|C02 Z|C03 A"},
      {A(1), {.repeatCount = u"3", .kind = kAlphabet, .start = u"bx", .descending = true}, u"A01 b|A02 a|A03 z"},
      {B(50), {.fixedName = u"NC", .repeatCount = u"2", .kind = kNoCounter}, u"B50 NC|C01 NC|old"},
  };
  for (const auto& c : cases) {
    Naming n;
    EXPECT_EQ(n.Ok(c.first, c.form), 0);
    EXPECT_EQ(n.Of(c.first, static_cast<unsigned>(std::count(c.names.begin(), c.names.end(), u'|')) + 1), c.names);
  }
}

TEST(ConsecutiveNumber, ChecksInOrderAndKeepsSettingsOnFailure) {
  const struct {
    const char* what;
    unsigned first;
    ConsecutiveNumberForm form;
    uint16_t message;
  } cases[] = {
      {"count 0", A(1), {.repeatCount = u"0"}, 40051},
      {"count 105", A(1), {.repeatCount = u"105"}, 40051},
      {"count before the start text", A(1), {.repeatCount = u"x", .start = u"x"}, 40051},
      {"no connector", kAsTyped, {.connector = -1, .pinEntry = 0, .repeatCount = u"1", .start = u"1"}, 40052},
      {"count 104 from A01", A(1), {.repeatCount = u"104", .start = u"1"}, 0},
      {"C01..C05", C(1), {.repeatCount = u"5", .start = u"1"}, 40053},
      {"52 with skip one", A(1), {.repeatCount = u"52", .skipOne = true, .start = u"1"}, 0},
      {"53 with skip one", A(1), {.repeatCount = u"53", .skipOne = true, .start = u"1"}, 40053},
      {"range before the start text", B(50), {.repeatCount = u"6", .start = u"x"}, 40053},
      // Opened on C02 the pin list still holds 50 entries; the 20th is beyond C04.
      {"20th entry of C", kAsTyped, {.connector = 2, .pinEntry = 19, .repeatCount = u"1", .start = u"1"}, 40053},
      {"number with a letter", A(1), {.repeatCount = u"1", .start = u"1a"}, 40054},
      {"number above 999", A(1), {.repeatCount = u"1", .start = u"1000"}, 40054},
      {"digit as letter", A(1), {.repeatCount = u"1", .kind = kAlphabet, .start = u"1"}, 40055},
      {"non-ASCII letter", A(1), {.repeatCount = u"1", .kind = kAlphabet, .start = u"\u00e9"}, 40055},
      {"no counter takes any start text", A(1), {.repeatCount = u"1", .kind = kNoCounter, .start = u"?"}, 0},
  };
  for (const auto& c : cases) {
    Naming n;
    EXPECT_EQ(n.Ok(c.first, c.form), c.message) << c.what;
    if (c.message == 0) continue;
    EXPECT_EQ(n.settings, ConsecutiveNumberSettings{}) << c.what;
    EXPECT_EQ(n.Of(A(1)), u"old") << c.what;
  }
}

TEST(ConsecutiveNumber, StoresWhatTheNextOpeningShows) {
  Naming n;
  ASSERT_EQ(n.Ok(A(1), {.fixedName = u"GND", .repeatCount = u"7", .skipOne = true, .omitPinLabel = true,
                        .start = u"007", .descending = true}),
            0);
  // The width typed is not kept.
  EXPECT_EQ(n.settings, (ConsecutiveNumberSettings{u"GND", 7, 2, 1, kNumbers, 7, {u'A', 0}, 0}));
  // A letter run keeps the start number, and a number run the letter.
  ASSERT_EQ(n.Ok(A(1), {.fixedName = u"GND", .repeatCount = u"1", .kind = kAlphabet, .start = u"k"}), 0);
  EXPECT_EQ(n.settings, (ConsecutiveNumberSettings{u"GND", 1, 1, 0, kAlphabet, 7, {u'k', 0}, 1}));

  // The blank follows the stored start number even without numbers.
  ASSERT_EQ(n.Ok(A(1), {.repeatCount = u"1", .start = u"100"}), 0);
  ASSERT_EQ(n.Ok(A(1), {.fixedName = u"ABCDE", .repeatCount = u"1", .kind = kAlphabet, .start = u"q"}), 0);
  EXPECT_EQ(n.Of(A(1)), u"A01ABCDEq");
}

TEST(EditCableData, NextPinResetNamesAndPinBoxColours) {
  for (auto [from, to] : {std::pair{A(17), A(18)}, {A(50), B(1)}, {C(4), A(1)}, {255u, A(1)}, {150u, A(1)}})
    EXPECT_EQ(NextPin(static_cast<uint8_t>(from)), to) << from;

  CableRecord cable{};
  CopyText(cable.pinNames[0], kPinNameUnits, u"LONGER NAME");
  ResetPinNames(cable);
  EXPECT_EQ(std::u16string(cable.pinNames[A(1)]) + cable.pinNames[B(50)] + cable.pinNames[C(4)], u"A01B50C04");

  InitConnectionRows(cable.connections);
  cable.connections[A(1)].bits = Pins({A(1), B(5), C(2)});
  cable.connections[A(2)].bits = Pins({A(2), A(3)});
  using enum PinBoxColour;
  // The selected pin, a box, its colour; the selected row lists nothing.
  for (auto [selected, pin, colour] : std::initializer_list<std::tuple<unsigned, unsigned, PinBoxColour>>{
           {kNoPin, A(1), kDefault}, {kNoPin, A(2), kDefault}, {A(1), A(1), kSelected}, {A(1), B(5), kConnected},
           {A(1), C(2), kConnected}, {A(1), A(2), kWired}, {A(1), A(3), kDefault}, {A(1), B(1), kDefault},
           {A(1), kPinCount, kDefault}, {A(3), A(2), kWired}, {A(3), A(1), kWired}}) {
    cable.selectedPin = static_cast<uint8_t>(selected);
    EXPECT_EQ(PinBoxColourOf(cable, pin), colour) << selected << "/" << pin;
  }
}

}  // namespace
