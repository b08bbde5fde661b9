#include "editors/consecutive_number.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/text.h"
#include "editors/edit_cable_data.h"
#include "support/pins.h"

namespace {

using Names = std::vector<std::u16string>;

// The form with its starting position taken from a pin, as the dialog
// preselects it.
ConsecutiveNumberForm At(unsigned pin, ConsecutiveNumberForm form) {
  const StartingPosition position = StartingPositionOf(static_cast<uint8_t>(pin));
  form.connector = position.connector;
  form.pinEntry = position.pinEntry;
  return form;
}

struct Naming {
  ConsecutiveNumberSettings settings;
  CableRecord record{};

  Naming() {
    for (auto& name : record.pinNames) CopyText(name, kPinNameUnits, u"old");
  }
  // OK in the dialog: 0 when the names were written, else the message id.
  uint16_t Ok(const ConsecutiveNumberForm& form) {
    const uint16_t message = ValidateConsecutiveNumber(form, settings);
    if (message == 0) GeneratePinNames(form, settings, record);
    return message;
  }
  Names Of(std::initializer_list<unsigned> pins) const {
    Names names;
    for (unsigned p : pins) names.emplace_back(record.pinNames[p], TextLength(record.pinNames[p], kPinNameUnits));
    return names;
  }
};

TEST(ConsecutiveNumber, InitialSettingsNameTheStartingPin) {
  Naming n;
  EXPECT_EQ(n.Ok(At(A(1), {.repeatCount = u"1", .start = u"1"})), 0);
  EXPECT_EQ(n.Of({A(1), A(2)}), (Names{u"A01 1", u"old"}));
}

TEST(ConsecutiveNumber, NumbersWithWidthsStepsAndWraps) {
  struct Case {
    const char* what;
    unsigned first;
    ConsecutiveNumberForm form;
    std::initializer_list<unsigned> pins;
    Names names;
  } cases[] = {
      {"two digits", B(10), {.fixedName = u"GND", .repeatCount = u"3", .start = u"01"}, {B(10), B(11), B(12), B(13)},
       {u"B10 GND01", u"B11 GND02", u"B12 GND03", u"old"}},
      {"skip one, descending",
       A(1),
       {.fixedName = u"SIG", .repeatCount = u"4", .skipOne = true, .start = u"5", .descending = true},
       {A(1), A(2), A(3), A(5), A(7), A(9)},
       {u"A01 SIG5", u"old", u"A03 SIG4", u"A05 SIG3", u"A07 SIG2", u"old"}},
      {"0 is followed by 999", A(1), {.repeatCount = u"3", .start = u"1", .descending = true}, {A(1), A(2), A(3)},
       {u"A01 1", u"A02 0", u"A03 999"}},
      {"999 is followed by 1", A(1), {.repeatCount = u"2", .start = u"999"}, {A(1), A(2)}, {u"A01 999", u"A02 1"}},
      {"blank dropped from 100 on", A(1), {.fixedName = u"ABCDE", .repeatCount = u"2", .start = u"99"}, {A(1), A(2)},
       {u"A01 ABCDE99", u"A02ABCDE100"}},
      {"three digits", A(1), {.fixedName = u"ABCDE", .repeatCount = u"2", .start = u"007"}, {A(1), A(2)},
       {u"A01ABCDE007", u"A02ABCDE008"}},
      {"'070' is two digits", A(1), {.fixedName = u"AB", .repeatCount = u"1", .start = u"070"}, {A(1)}, {u"A01 AB70"}},
      {"without the label", A(1), {.fixedName = u"P", .repeatCount = u"2", .omitPinLabel = true, .start = u"1"},
       {A(1), A(2)}, {u"P1", u"P2"}},
      {"the last pins", C(3), {.repeatCount = u"2", .start = u" 8 "}, {C(3), C(4)}, {u"C03 8", u"C04 9"}},
  };
  for (const Case& c : cases) {
    Naming n;
    EXPECT_EQ(n.Ok(At(c.first, c.form)), 0) << c.what;
    EXPECT_EQ(n.Of(c.pins), c.names) << c.what;
  }
}

TEST(ConsecutiveNumber, LettersAndNoCounter) {
  Naming n;
  EXPECT_EQ(n.Ok(At(C(1), {.repeatCount = u"3", .kind = kAlphabet, .start = u"Y"})), 0);
  EXPECT_EQ(n.Of({C(1), C(2), C(3)}), (Names{u"C01 Y", u"C02 Z", u"C03 A"}));
  EXPECT_EQ(n.Ok(At(A(1), {.repeatCount = u"3", .kind = kAlphabet, .start = u"bx", .descending = true})), 0);
  EXPECT_EQ(n.Of({A(1), A(2), A(3)}), (Names{u"A01 b", u"A02 a", u"A03 z"}));
  EXPECT_EQ(n.Ok(At(B(50), {.fixedName = u"NC", .repeatCount = u"2", .kind = kNoCounter})), 0);
  EXPECT_EQ(n.Of({B(50), C(1)}), (Names{u"B50 NC", u"C01 NC"}));

  // The blank follows the stored start number even without numbers.
  Naming wide;
  EXPECT_EQ(wide.Ok(At(A(1), {.repeatCount = u"1", .start = u"100"})), 0);
  EXPECT_EQ(wide.Ok(At(A(1), {.fixedName = u"ABCDE", .repeatCount = u"1", .kind = kAlphabet, .start = u"q"})), 0);
  EXPECT_EQ(wide.Of({A(1)}), (Names{u"A01ABCDEq"}));
}

TEST(ConsecutiveNumber, ChecksInOrderAndKeepsSettingsOnFailure) {
  struct Case {
    const char* what;
    unsigned first;
    ConsecutiveNumberForm form;
    uint16_t message;
  } cases[] = {
      {"count empty", A(1), {.repeatCount = u""}, 40051},
      {"count 0", A(1), {.repeatCount = u"0"}, 40051},
      {"count 105", A(1), {.repeatCount = u"105"}, 40051},
      {"count before the start text", A(1), {.repeatCount = u"x", .start = u"x"}, 40051},
      {"count 104 from A01", A(1), {.repeatCount = u"104", .start = u"1"}, 0},
      {"C01..C04", C(1), {.repeatCount = u"4", .start = u"1"}, 0},
      {"C01..C05", C(1), {.repeatCount = u"5", .start = u"1"}, 40053},
      {"52 with skip one", A(1), {.repeatCount = u"52", .skipOne = true, .start = u"1"}, 0},
      {"53 with skip one", A(1), {.repeatCount = u"53", .skipOne = true, .start = u"1"}, 40053},
      {"range before the start text", B(50), {.repeatCount = u"6", .start = u"x"}, 40053},
      {"number empty", A(1), {.repeatCount = u"1", .start = u""}, 40054},
      {"number with a letter", A(1), {.repeatCount = u"1", .start = u"1a"}, 40054},
      {"negative number", A(1), {.repeatCount = u"1", .start = u"-1"}, 40054},
      {"number above 999", A(1), {.repeatCount = u"1", .start = u"1000"}, 40054},
      {"letter empty", A(1), {.repeatCount = u"1", .kind = kAlphabet, .start = u""}, 40055},
      {"digit as letter", A(1), {.repeatCount = u"1", .kind = kAlphabet, .start = u"1"}, 40055},
      {"non-ASCII letter", A(1), {.repeatCount = u"1", .kind = kAlphabet, .start = u"\u00e9"}, 40055},
      {"no counter takes any start text", A(1), {.repeatCount = u"1", .kind = kNoCounter, .start = u"?"}, 0},
  };
  for (const Case& c : cases) {
    Naming n;
    const ConsecutiveNumberSettings before = n.settings;
    EXPECT_EQ(n.Ok(At(c.first, c.form)), c.message) << c.what;
    if (c.message != 0) {
      EXPECT_EQ(n.settings, before) << c.what;
    }
  }
}

TEST(ConsecutiveNumber, NoSelectionInEitherList) {
  Naming n;
  EXPECT_EQ(n.Ok({.connector = -1, .pinEntry = 0, .repeatCount = u"1", .start = u"1"}), 40052);
  EXPECT_EQ(n.Ok({.connector = 0, .pinEntry = -1, .repeatCount = u"1", .start = u"1"}), 40052);
  EXPECT_EQ(n.Of({A(1)}), (Names{u"old"}));
}

// Opened on C02, the pin list still holds 50 entries: the 20th is beyond
// the connector whatever the count.
TEST(ConsecutiveNumber, ConnectorCWithAPinEntryOfFifty) {
  const StartingPosition c02 = StartingPositionOf(static_cast<uint8_t>(C(2)));
  EXPECT_EQ(c02.connector, 2);
  EXPECT_EQ(c02.pinEntry, 1);
  EXPECT_EQ(StartingPositionOf(static_cast<uint8_t>(B(1))).connector, 1);
  for (int count = 1; count <= 104; ++count) {
    Naming n;
    std::u16string text;
    for (char c : std::to_string(count)) text += static_cast<char16_t>(c);
    ASSERT_EQ(n.Ok({.connector = 2, .pinEntry = 19, .repeatCount = text.c_str(), .start = u"1"}), 40053) << count;
  }
}

TEST(ConsecutiveNumber, StoresWhatTheNextOpeningShows) {
  Naming n;
  ASSERT_EQ(n.Ok(At(A(1), {.fixedName = u"GND", .repeatCount = u"7", .skipOne = true, .omitPinLabel = true,
                           .start = u"007", .descending = true})),
            0);
  EXPECT_EQ(std::u16string(n.settings.fixedName), u"GND");
  EXPECT_EQ(n.settings.repeatCount, 7);
  EXPECT_EQ(n.settings.step, 2);
  EXPECT_EQ(n.settings.omitPinLabel, 1);
  EXPECT_EQ(n.settings.numberKind, kNumbers);
  EXPECT_EQ(n.settings.startNumber, 7) << "the width typed is not kept";
  EXPECT_EQ(n.settings.ascending, 0);
  // A letter run keeps the start number, and a number run the letter.
  ASSERT_EQ(n.Ok(At(A(1), {.repeatCount = u"1", .kind = kAlphabet, .start = u"k"})), 0);
  EXPECT_EQ(n.settings.startNumber, 7);
  EXPECT_EQ(n.settings.startLetter[0], u'k');
  EXPECT_EQ(n.settings.numberKind, kAlphabet);
  ASSERT_EQ(n.Ok(At(A(1), {.repeatCount = u"1", .kind = kNoCounter})), 0);
  EXPECT_EQ(n.settings.startLetter[0], u'k');
  EXPECT_EQ(n.settings.numberKind, kNoCounter);
}

TEST(EditCableData, EnterMovesToTheNextPin) {
  EXPECT_EQ(NextPin(A(17)), A(18));
  EXPECT_EQ(NextPin(A(50)), B(1));
  EXPECT_EQ(NextPin(C(4)), A(1));
  EXPECT_EQ(NextPin(kNoPin), A(1));
  EXPECT_EQ(NextPin(150), A(1));
}

TEST(EditCableData, PinBoxColours) {
  CableRecord cable{};
  InitConnectionRows(cable.connections);
  cable.selectedPin = kNoPin;
  cable.connections[A(1)].bits = Pins({A(1), B(5), C(2)});
  cable.connections[A(2)].bits = Pins({A(2), A(3)});
  EXPECT_EQ(PinBoxColourOf(cable, A(1)), PinBoxColour::kDefault) << "nothing selected yet";

  cable.selectedPin = static_cast<uint8_t>(A(1));
  EXPECT_EQ(PinBoxColourOf(cable, A(1)), PinBoxColour::kSelected);
  EXPECT_EQ(PinBoxColourOf(cable, B(5)), PinBoxColour::kConnected);
  EXPECT_EQ(PinBoxColourOf(cable, C(2)), PinBoxColour::kConnected);
  EXPECT_EQ(PinBoxColourOf(cable, A(2)), PinBoxColour::kWired);
  // Listed by A02 but listing nothing itself.
  EXPECT_EQ(PinBoxColourOf(cable, A(3)), PinBoxColour::kDefault);
  EXPECT_EQ(PinBoxColourOf(cable, B(1)), PinBoxColour::kDefault);

  cable.selectedPin = static_cast<uint8_t>(A(3));
  EXPECT_EQ(PinBoxColourOf(cable, A(2)), PinBoxColour::kWired) << "the selected row lists nothing";
  EXPECT_EQ(PinBoxColourOf(cable, A(1)), PinBoxColour::kWired);
}

TEST(EditCableData, ResetNamesAreTheBareLabels) {
  CableRecord cable{};
  CopyText(cable.pinNames[0], kPinNameUnits, u"LONGER NAME");
  ResetPinNames(cable);
  EXPECT_EQ(std::u16string(cable.pinNames[A(1)]), u"A01");
  EXPECT_EQ(std::u16string(cable.pinNames[B(50)]), u"B50");
  EXPECT_EQ(std::u16string(cable.pinNames[C(4)]), u"C04");
}

}  // namespace
