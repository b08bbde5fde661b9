#include "scenario_win.h"
