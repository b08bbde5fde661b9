#pragma once
// The editors' logic on cable records, without windows.
#include "cabledata/cable_set.h"
