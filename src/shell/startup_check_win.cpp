#include "shell/startup_check_win.h"

#include "link/link_notifier_win.h"
#include "link/serial_link.h"
#include "link/serial_port_win.h"

bool StartupPortCheck(HWND owner, const PortSettings& settings, ErrorReporter& errors) {
  static Win32SerialPort port;
  static SerialLink link(port, errors);
  WindowNotifier notifier(owner);
  if (!link.OpenLink(notifier, settings)) return false;
  const bool ready = link.IsUnitReady();
  link.CloseLink(true);
  if (!ready) errors.ShowError(kErrorPortNotOnline);
  return ready;
}
