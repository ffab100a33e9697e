#include "dir_text.h"
#include "../text.h"

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

static size_t DropTrailingSeparators(char *dir, size_t length)
{
    while (length > 0 && dir[length - 1] == '\\')
        dir[--length] = '\0';
    return length;
}

void GoToParent(char *dir, size_t size)
{
    size_t length = DropTrailingSeparators(dir, TextLength(dir));
    while (length > 0 && dir[length - 1] != '\\')
        length--;
    if (length > 0)
        DropTrailingSeparators(dir, length);
    else if (DriveLetterOf(dir))
        dir[2] = '\0';     /* "C:foo" lies in the root of C: */
    if (TextLength(dir) == 2 && dir[1] == ':')
        AppendChar(dir, size, '\\');
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

bool IsDotOrDotDot(const char *name)
{
    return TextEquals(name, ".") || TextEquals(name, "..");
}
