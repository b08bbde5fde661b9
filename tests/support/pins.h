#pragma once
// Pins and wirings written the way the connectors number them, for tests.
#include <cstring>
#include <initializer_list>
#include <ostream>

#include "cabledata/cable_set.h"

// PinIndex of a connector pin by its 1-based number on the connector.
constexpr unsigned A(unsigned n) { return n - 1; }
constexpr unsigned B(unsigned n) { return n + 49; }
constexpr unsigned C(unsigned n) { return n + 99; }

inline PinSet Pins(std::initializer_list<unsigned> pins) {
  PinSet set{};
  for (unsigned p : pins) PinSetAdd(set, p);
  return set;
}

inline bool operator==(const PinSet& a, const PinSet& b) { return std::memcmp(a.bytes, b.bytes, sizeof a.bytes) == 0; }

// Failures name the pins, "{A01 B03}", not thirteen bytes.
inline void PrintPin(unsigned p, std::ostream* os) {
  const unsigned n = p < 50 ? p + 1 : p < 100 ? p - 49 : p - 99;
  *os << (p < 50 ? 'A' : p < 100 ? 'B' : 'C') << n / 10 << n % 10;
}
inline void PrintTo(const PinSet& set, std::ostream* os) {
  *os << '{';
  for (unsigned p = 0, n = 0; p < kPinCount; ++p) {
    if (!PinSetHas(set, p)) continue;
    if (n++ != 0) *os << ' ';
    PrintPin(p, os);
  }
  *os << '}';
}

// A cable's wiring row by row, as the unit measures it or a cable holds it:
// every pin of a net sees the whole net, any other pin only itself.
struct Rows {
  ConnectionRow rows[kPinCount];
  Rows() { InitConnectionRows(rows); }
  explicit Rows(const ConnectionRow (&from)[kPinCount]) { std::memcpy(rows, from, sizeof rows); }
  Rows& Net(std::initializer_list<unsigned> pins) {
    for (unsigned p : pins) rows[p].bits = Pins(pins);
    return *this;
  }
  // A p to B p for p = 1..n.
  Rows& Straight(unsigned n) {
    for (unsigned p = 1; p <= n; ++p) Net({A(p), B(p)});
    return *this;
  }
  // One row measured as given, whatever the other rows say.
  Rows& Measure(unsigned pin, std::initializer_list<unsigned> pins) {
    rows[pin].bits = Pins(pins);
    return *this;
  }
  const PinSet& Of(unsigned pin) const { return rows[pin].bits; }
  bool operator==(const Rows& other) const { return std::memcmp(rows, other.rows, sizeof rows) == 0; }
};

// The rows that are more or less than their own pin, "A01:{A01 B01} ...".
inline void PrintTo(const Rows& wiring, std::ostream* os) {
  for (unsigned p = 0; p < kPinCount; ++p) {
    if (wiring.Of(p) == Pins({p})) continue;
    PrintPin(p, os);
    *os << ':';
    PrintTo(wiring.Of(p), os);
    *os << ' ';
  }
}
