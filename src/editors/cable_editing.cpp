#include "editors/cable_editing.h"
