/* Text work of the file placement: resolving the directory, joining names. */
#ifndef MORVALEN_PATH_TEXT_H
#define MORVALEN_PATH_TEXT_H

#include <stddef.h>

/* The directory as it will be created: "X:\a\b" with the drive taken from the
   text or else from currentDrive, a drive letter and colon followed directly by
   a name read as the drive's root, and empty components dropped. False when
   there is no drive to go by or the result does not fit. */
bool ResolveInstallDir(const char *dir, char currentDrive, char *out, size_t size);

/* Cuts the next non-empty component out of *cursor (in place) and advances
   the cursor past it; returns 0 when no component is left. */
char *NextComponent(char **cursor);

#endif
