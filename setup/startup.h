#ifndef MORVALEN_STARTUP_H
#define MORVALEN_STARTUP_H

#include <windows.h>

/* Quiets the platform's critical-error boxes, keeps the library search to
   the system directory, then fills the state: defaults, shell generation,
   default and source directories. */
void StartUp(HINSTANCE instance);

/* A child process inherits the error mode: the programs the setup starts
   get the one it was started with, not its own. */
void RestoreErrorMode();

#endif
