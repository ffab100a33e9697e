/* Texts of the installation sequence: abort messages and launch commands. */
#ifndef MORVALEN_MESSAGES_H
#define MORVALEN_MESSAGES_H

#include <stddef.h>

/* Unable to install:  Can't make path "<dir>", with the directory cut short
   (ending in "...") when the whole text would not fit. */
void FormatMakePathMessage(const char *dir, char *out, size_t size);

/* Unable to install:  Can't copy file "<name>". */
bool FormatCopyMessage(const char *name, char *out, size_t size);

/* The launch command lines; the paths are quoted so that a blank in a
   directory cannot make the platform start a different program. Notepad
   goes by the full path it is given, never by a name to search for. */
bool FormatStartCommand(const char *dir, char *out, size_t size);
bool FormatReadmeCommand(const char *notepad, const char *dir, char *out, size_t size);

#endif
