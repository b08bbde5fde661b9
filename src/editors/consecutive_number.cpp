#include "editors/consecutive_number.h"
