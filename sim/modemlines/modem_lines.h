/* The modem lines of the simulated unit's serial line, shared between unitsim
 * and the library preloaded into Wine (C and C++).
 *
 * A Linux pseudo-terminal has no DTR or DSR. unitsim keeps them in a small
 * file that both sides map: unitsim writes DSR (the unit is ready) and reads
 * DTR; the preloaded library answers Wine's modem-line requests from it and
 * writes the DTR and RTS that Wine sets. Every field is a 32-bit word read and
 * written atomically, so no lock is needed across the processes.
 *
 * unitsim never replaces the file once it exists (it rewrites it in place), so
 * a long-lived process such as wineserver keeps a valid mapping across runs.
 */
#ifndef PINVORO_SIM_MODEM_LINES_H
#define PINVORO_SIM_MODEM_LINES_H

#include <stdint.h>

/* The device whose modem lines are simulated (may be a symbolic link; it is
 * resolved on every check, so the link may be repointed while Wine runs). */
#define MODEM_LINES_DEVICE_ENV "PINVORO_MODEMLINES_DEVICE"
/* The state file below. */
#define MODEM_LINES_STATE_ENV "PINVORO_MODEMLINES_STATE"

#define MODEM_LINES_MAGIC 0x4D4C5650u /* "PVLM" */

struct ModemLinesState {
  uint32_t magic;
  uint32_t dsr; /* unit to host: nonzero while the unit is ready */
  uint32_t dtr; /* host to unit */
  uint32_t rts; /* host to unit; nobody reads it, but TIOCMGET gives it back */
  /* Counts every fall of DTR, so that unitsim, which polls, cannot miss a
   * close and re-open of the port that happens between two looks. */
  uint32_t dtrDrops;
};

#ifdef __cplusplus
static_assert(sizeof(ModemLinesState) == 20, "shared with the preloaded C library");
#else
_Static_assert(sizeof(struct ModemLinesState) == 20, "shared with unitsim");
#endif

#endif
