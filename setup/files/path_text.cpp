#include "path_text.h"
#include "../text.h"

bool ResolveInstallDir(const char *dir, char currentDrive, char *out, size_t size)
{
    char drive = DriveLetterOf(dir);
    const char *rest = dir;
    if (drive)
        rest += 2;
    else
        drive = currentDrive;
    if (!drive || !CopyText(out, size, "") || !AppendChar(out, size, drive)
        || !AppendText(out, size, ":\\"))
        return false;
    bool first = true;
    while (*rest) {
        if (*rest == '\\') {
            rest++;
            continue;
        }
        if (!first && !AppendChar(out, size, '\\'))
            return false;
        while (*rest && *rest != '\\')
            if (!AppendChar(out, size, *rest++))
                return false;
        first = false;
    }
    return true;
}

char *NextComponent(char **cursor)
{
    char *p = *cursor;
    while (*p == '\\')
        p++;
    if (!*p) {
        *cursor = p;
        return 0;
    }
    char *start = p;
    while (*p && *p != '\\')
        p++;
    if (*p)
        *p++ = '\0';
    *cursor = p;
    return start;
}
