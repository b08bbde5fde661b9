#pragma once
// A cable set as JSON, for reading, diffing and building sets by hand.
//
// {
//   "tag": "VORKEL_DD",       the tag's text, at most 9 characters
//   "reserved": 0,            the set's reserved byte, 0..255
//   "currentCable": 0,        index 0..9 (cable number - 1)
//   "cables": [               up to ten, each naming its cable
//     {
//       "number": 1,          1..10
//       "info": {"productNo": "", "modelCustomer": "", "blockName": "",
//                "cableType": "", "comment": ""},
//       "pinNames": [...],    104 names in pin order, at most 11 characters
//       "connections": [...], 104 rows {"pin": 1..104, "connected": ["A01", ...]}:
//                             the row's stored pin byte and the members of its
//                             pin set, its own pin included when that bit is set
//       "probe": {"reserved": 0, "pins": ["A01", ...]},
//       "selectedPin": 0,     0..103, 255 = none
//       "alignment": 0        the record's alignment byte, 0..255
//     }
//   ],
//   "bytes": [                stored bytes laid over the set last:
//     {"offset": 45201, "hex": "0C"}   offset in the file, then the bytes
//   ]
// }
//
// Pins are written as their labels "A01".."A50", "B01".."B50", "C01".."C04".
// Lengths count UTF-16 units, as the fields hold them; the information fields
// hold at most 10, 30, 10, 20 and 200.
//
// Export writes every field of all ten cables, and import of the export gives
// back the file byte for byte: what the fields cannot hold (a value out of its
// range, which export leaves out, text after a terminator or without one, an
// unpaired surrogate) goes into "bytes". Most sets need none; without them the
// import gives the set the fields describe.
//
// Import starts from a new set. Any key may be left out and keeps its default,
// as do cables not listed; an array of 104 entries must be complete. A cable
// may also hold "nets": [["A01", "B01"], ...], which connects the pins of each
// group with one another on top of "connections", so that a wiring can be
// written by hand without listing all 104 rows.
#include <string>
#include <string_view>

#include "cabledata/cable_set.h"

std::string ExportCableSetJson(const CableSet& set);

// On success fills set completely and returns true. Otherwise set is left as
// it was and error names the place and the fault, e.g.
// "cables[2].pinNames[5]: 'ABCDEFGHIJKL' is longer than 11 characters".
bool ImportCableSetJson(std::string_view text, CableSet& set, std::string& error);
