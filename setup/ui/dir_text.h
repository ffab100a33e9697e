/* Text work of the directory selection: figures, drive lists, navigation. */
#ifndef MORVALEN_DIR_TEXT_H
#define MORVALEN_DIR_TEXT_H

#include <stddef.h>
#include <stdint.h>

#define DRIVE_LIST_SIZE     256
#define LIST_ENTRY_SIZE     256

/* Whole kilobytes, rounded down, as "<n>kB". */
bool FormatKilobytes(uint64_t bytes, char *buffer, size_t size);

/* Packs "X:\" entries for the set bits 0..25 of mask, then an empty entry.
   Returns false (and an empty list) when the buffer is too small. */
bool PackDriveList(uint32_t mask, char *buffer, size_t size);

/* Gives the path the drive root it lacks, as AddMissingRoot does, and
   upper-cases the drive letter: "Apps" on drive C becomes "C:\Apps", "d:Apps"
   becomes "D:\Apps". Returns false and leaves the path alone when there is no
   current drive letter or the result would not fit. */
bool CompleteDriveLetter(char *path, size_t size, char currentDrive);

/* The "[..]" step: one directory up, never above the root of the drive or
   of the network share ("\\server\share\"); a root comes back with its separator. */
void GoToParent(char *dir, size_t size);

/* Enters the subdirectory name; false and unchanged when it would not fit. */
bool EnterChild(char *dir, size_t size, const char *name);

/* The name inside a "[name]" list entry. */
bool EntryName(const char *entry, char *name, size_t size);

/* "<dir>\*.*", without doubling a trailing separator. */
bool MakeSearchPattern(const char *dir, char *pattern, size_t size);

/* "[name]" as listed for a subdirectory. */
bool MakeDirectoryEntry(const char *name, char *entry, size_t size);

/* The name to list and enter a found directory by: its short name when the
   long one came back with "?" (a character of a name the code page cannot
   show, which no file name can hold) and there is a short name. */
const char *ListedName(const char *longName, const char *shortName);

/* The search's own "." and ".." entries. */
bool IsDotOrDotDot(const char *name);

#endif
