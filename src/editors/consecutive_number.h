#pragma once
// Names for a run of consecutive pins, without windows.
#include "cabledata/cable_set.h"
