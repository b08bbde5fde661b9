#include "shell/about.h"
