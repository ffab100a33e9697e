/* Bounded text building. Every function reports whether the whole result fit;
   on failure the destination keeps a valid, NUL-terminated prefix. */
#ifndef MORVALEN_TEXT_H
#define MORVALEN_TEXT_H

#include <stddef.h>
#include <stdint.h>

/* The ANSI code page's double-byte characters: ranges of lead bytes as
   (first, last) pairs, ended by a zero byte or after count bytes, as the
   platform reports them. Until set, every byte is a character of its own. */
void SetLeadByteRanges(const unsigned char *ranges, size_t count);
/* The character after the one at text: a lead byte takes its trail byte
   along, unless the text ends right after it. */
const char *NextChar(const char *text);
inline char *NextChar(char *text) { return (char *)NextChar((const char *)text); }
/* The end of the name at text: the next separator, or the end of the text. */
const char *NameEnd(const char *text);
inline char *NameEnd(char *text) { return (char *)NameEnd((const char *)text); }

size_t TextLength(const char *text);
bool CopyText(char *dst, size_t dstSize, const char *src);
bool AppendText(char *dst, size_t dstSize, const char *src);
bool AppendChar(char *dst, size_t dstSize, char c);
/* Puts text into dst at offset at, moving what follows; false, and dst
   unchanged, when the whole would not fit. */
bool InsertText(char *dst, size_t dstSize, size_t at, const char *text);
bool AppendUnsigned(char *dst, size_t dstSize, uint64_t value);
bool TextEquals(const char *a, const char *b);
/* Whether the last character is the separator, not a trail byte alike. */
bool EndsWithSeparator(const char *text);
char UpperAscii(char c);
/* Upper-cases the ASCII letters, never a double-byte character's trail byte. */
void UpperAsciiText(char *text);
/* Whether the byte c is in text. Meant for bytes below 0x40 (a blank, "?"),
   which no code page uses as a trail byte: a byte search then also finds
   one that stray bytes before it would hide from a character walk. */
bool HasChar(const char *text, char c);
/* The upper-cased drive letter when text starts with "X:", else 0. */
char DriveLetterOf(const char *text);

/* The length of the root a path starts with: "X:\" or "X:", or for a network
   path "\\server\share\" (or as much of it as there is). 0 for anything else. */
size_t RootLength(const char *path);

/* That root with its separator and the drive letter upper-cased ("x:" gives
   "X:\"); false when the path has none or it does not fit. */
bool CopyRoot(const char *path, char *root, size_t size);

/* The folder a path lies in: everything before its last separator, a root
   keeping its own ("C:\x" gives "C:\", "\\server\share\x" its share's
   root). False without a separator or when it does not fit. */
bool FolderOfPath(const char *path, char *out, size_t size);

/* "<dir>\<name>": the separator always goes in, also after a trailing one.
   AppendPath adds it to what dst holds, JoinPath makes out just that. */
bool AppendPath(char *dst, size_t dstSize, const char *dir, const char *name);
bool JoinPath(const char *dir, const char *name, char *out, size_t size);

/* Gives a path without its drive root one, in place and keeping the rest as
   written: "X:\" of currentDrive in front of a path without a drive ("X:"
   alone before a leading separator), a separator after a drive's colon that
   lacks one ("C:Foo", "C:"). A network path ("\\server\share...") has its
   root already and stays as it is. False, and the path unchanged, when there
   is no current drive to go by or the result would not fit. */
bool AddMissingRoot(char *path, size_t size, char currentDrive);

#endif
