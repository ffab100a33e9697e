/* Bounded text building. Every function reports whether the whole result fit;
   on failure the destination keeps a valid, NUL-terminated prefix. */
#ifndef MORVALEN_TEXT_H
#define MORVALEN_TEXT_H

#include <stddef.h>
#include <stdint.h>

size_t TextLength(const char *text);
bool CopyText(char *dst, size_t dstSize, const char *src);
bool AppendText(char *dst, size_t dstSize, const char *src);
bool AppendChar(char *dst, size_t dstSize, char c);
bool AppendUnsigned(char *dst, size_t dstSize, uint64_t value);
bool TextEquals(const char *a, const char *b);
bool EndsWithSeparator(const char *text);
char UpperAscii(char c);
void UpperAsciiText(char *text);
bool HasBlank(const char *text);
/* The upper-cased drive letter when text starts with "X:", else 0. */
char DriveLetterOf(const char *text);

/* "<dir>\<name>": the separator always goes in, also after a trailing one.
   AppendPath adds it to what dst holds, JoinPath makes out just that. */
bool AppendPath(char *dst, size_t dstSize, const char *dir, const char *name);
bool JoinPath(const char *dir, const char *name, char *out, size_t size);

/* Gives a path without its drive root one, in place and keeping the rest as
   written: "X:\" of currentDrive in front of a path without a drive ("X:"
   alone before a leading separator), a separator after a drive's colon that
   lacks one ("C:Foo", "C:"). False, and the path unchanged, when there is no
   current drive to go by or the result would not fit. */
bool AddMissingRoot(char *path, size_t size, char currentDrive);

#endif
