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

/* The folder a path lies in: everything before its last separator, a drive
   root keeping its own ("C:\x" gives "C:\"). False without a separator. */
bool FolderOfPath(const char *path, char *out, size_t size);

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

/* "~mv<8 hex digits>.tmp", a name for a place of our own in the temporary folder. */
bool FormatPrivateName(uint32_t value, char *out, size_t size);

#endif
