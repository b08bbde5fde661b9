#pragma once
// The start-up check of the port: open the link once to read the unit's DSR
// line and close it again. Reports 1025 (cannot open) or 1027 (not ready).
#include <windows.h>

#include "common/error_report.h"
#include "link/serial_port.h"

bool StartupPortCheck(HWND owner, const PortSettings& settings, ErrorReporter& errors);
