#include "dir_text.h"
#include "common/text.h"

bool FormatKilobytes(uint64_t bytes, char *buffer, size_t size)
{
    return CopyText(buffer, size, "") && AppendUnsigned(buffer, size, bytes >> 10)
        && AppendText(buffer, size, "kB");
}

bool PackDriveList(uint32_t mask, char *buffer, size_t size)
{
    size_t needed = 2;
    for (int bit = 0; bit < 26; bit++)
        if (mask & (1u << bit))
            needed += 4;
    if (size < needed) {
        /* Hand back an empty list rather than a cut one. */
        for (size_t i = 0; i < size && i < 2; i++)
            buffer[i] = '\0';
        return false;
    }
    size_t used = 0;
    for (int bit = 0; bit < 26; bit++) {
        if (!(mask & (1u << bit)))
            continue;
        buffer[used++] = (char)('A' + bit);
        buffer[used++] = ':';
        buffer[used++] = '\\';
        buffer[used++] = '\0';
    }
    buffer[used++] = '\0';
    buffer[used] = '\0';
    return true;
}

/* The same root as the installation gives the directory, so the browser
   lists the folder that would be created. */
bool CompleteDriveLetter(char *path, size_t size, char currentDrive)
{
    if (!AddMissingRoot(path, size, currentDrive))
        return false;
    path[0] = UpperAscii(path[0]);
    return true;
}

void GoToParent(char *dir, size_t size)
{
    /* Cut at the separator just before the last name, so that separators
       doubled further up stay as they are; never inside the root. */
    size_t root = RootLength(dir), cut = root;
    for (const char *p = dir + root; *p;) {
        if (*p == '\\') {
            p++;
            continue;
        }
        cut = p > dir + root ? (size_t)(p - 1 - dir) : root;
        p = NameEnd(p);
    }
    dir[cut] = '\0';
    if (cut == root && root > 0 && !EndsWithSeparator(dir))
        AppendChar(dir, size, '\\');     /* "C:foo" lies in the root of C: */
}

bool EnterChild(char *dir, size_t size, const char *name)
{
    size_t length = TextLength(dir);
    size_t separator = EndsWithSeparator(dir) ? 0 : 1;
    if (length + separator + TextLength(name) + 1 > size)
        return false;
    if (separator)
        AppendChar(dir, size, '\\');
    return AppendText(dir, size, name);
}

bool EntryName(const char *entry, char *name, size_t size)
{
    size_t length = TextLength(entry);
    if (length < 2 || length - 2 + 1 > size)
        return false;
    for (size_t i = 0; i < length - 2; i++)
        name[i] = entry[i + 1];
    name[length - 2] = '\0';
    return true;
}

bool MakeSearchPattern(const char *dir, char *pattern, size_t size)
{
    return CopyText(pattern, size, dir)
        && (EndsWithSeparator(dir) || AppendChar(pattern, size, '\\'))
        && AppendText(pattern, size, "*.*");
}

bool MakeDirectoryEntry(const char *name, char *entry, size_t size)
{
    return CopyText(entry, size, "[") && AppendText(entry, size, name)
        && AppendChar(entry, size, ']');
}

const char *ListedName(const char *longName, const char *shortName)
{
    return HasChar(longName, '?') && shortName[0] ? shortName : longName;
}

bool IsDotOrDotDot(const char *name)
{
    return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}
