/* Queries of the platform that more than one subsystem asks. */
#ifndef MORVALEN_PLATFORM_H
#define MORVALEN_PLATFORM_H

#include <windows.h>
#include <stddef.h>

/* The current directory's drive letter, or 0 when it has none (a network path). */
char CurrentDriveLetter();

/* A library of the platform, by its full path in the system directory: the
   setup's own folder may hold a file of the same name that others put there. */
HMODULE LoadSystemLibrary(const char *name);

/* The platform's own Notepad by its full path; false when it does not fit. */
bool NotepadPath(char *path, size_t size);

#endif
