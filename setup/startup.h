#ifndef MORVALEN_STARTUP_H
#define MORVALEN_STARTUP_H

#include <windows.h>

/* Quiets the platform's critical-error boxes, keeps the library search to
   the system directory, then fills the state: defaults, shell generation,
   default and source directories. */
void StartUp(HINSTANCE instance);

#endif
