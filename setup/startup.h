#ifndef MORVALEN_STARTUP_H
#define MORVALEN_STARTUP_H

#include <windows.h>

/* Fills the state: defaults, shell generation, default and source directories. */
void StartUp(HINSTANCE instance);

#endif
