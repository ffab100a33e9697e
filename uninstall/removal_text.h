/* Text work of the removal: which records name this installation, the
   messages, the command line, the restart's deletion list. */
#ifndef MORVALEN_REMOVAL_TEXT_H
#define MORVALEN_REMOVAL_TEXT_H

#include <stddef.h>
#include <stdint.h>

/* Whether two paths name the same place as the file system sees it: ASCII
   letters without regard to case, double-byte characters byte for byte,
   runs of separators as one and trailing ones ignored. */
bool SamePath(const char *a, const char *b);

/* Whether path lies directly in folder. */
bool PathInFolder(const char *path, const char *folder);

/* Whether the install record names folder. The setup wrote the directory as
   typed and completed a missing drive root with the drive it installed on,
   which is folder's. */
bool RecordNamesFolder(const char *record, const char *folder);

/* Whether an uninstall string, quoted or not, starts UNINSTAL.EXE in folder. */
bool UninstallStringNamesFolder(const char *value, const char *folder);

/* format with its one "%s" replaced by the text. */
bool FormatWithText(const char *format, const char *text, char *out, size_t size);

/* Whether the command line, after the program's name, holds /S or -S. */
bool HasSilentSwitch(const char *commandLine);

/* Adds "NUL=<path>" to the [rename] section of the WININIT.INI text
   (NUL-terminated, in a buffer of size bytes), making the section when
   missing. Every line already there stays: the file is shared by every
   program that needs a file gone at the next restart. */
bool AddRenameDeletion(char *text, size_t size, const char *path);

/* Whether the bytes hold nothing but blanks and line ends. */
bool IsBlankText(const char *text, size_t length);

/* "~mv<8 hex digits><extension>", a name for a place of our own in the
   temporary folder. */
bool FormatPrivateName(uint32_t value, const char *extension, char *out, size_t size);

/* The command line of the copy that finishes after the uninstaller has
   ended: "<copy>" /F:<two handle values, 8 hex digits each>. The parse gives
   back the two, false for any other line. */
bool FormatFinishCommand(const char *copy, uint32_t process, uint32_t shared, char *out, size_t size);
bool ParseFinishCommand(const char *commandLine, uint32_t *process, uint32_t *shared);

#endif
