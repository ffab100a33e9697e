#include "files.h"
#include "../messages.h"
#include "../setup_state.h"
#include "../text.h"

/* A copy that ran out of room part-way leaves a short target behind that
   looks installed: remove it. Any other failure (missing source, locked or
   read-only target) never wrote the target, so it is left as it was. */
static void RemovePartialTarget(DWORD error, const char *target)
{
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        DeleteFileA(target);
}

/* A copy takes the source's attributes along, and files on a CD are all
   read-only: the installed file must not be, or the next run from the same
   medium could not replace it. */
static void ClearReadOnly(const char *target)
{
    DWORD attributes = GetFileAttributesA(target);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY))
        SetFileAttributesA(target, attributes & ~FILE_ATTRIBUTE_READONLY);
}

void CopyInstallFile(const char *fromDir, const char *toDir, const char *name)
{
    char source[PATH_TEXT_SIZE], target[PATH_TEXT_SIZE];
    if (JoinPath(fromDir, name, source, sizeof source)
        && JoinPath(toDir, name, target, sizeof target)) {
        if (CopyFileA(source, target, FALSE)) {
            ClearReadOnly(target);
            return;
        }
        RemovePartialTarget(GetLastError(), target);
    }
    char message[PATH_TEXT_SIZE];
    FormatCopyMessage(name, message, sizeof message);
    AbortSetup(message);
}
