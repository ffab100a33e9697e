#include "files.h"
#include "../messages.h"
#include "../setup_state.h"
#include "common/text.h"

/* A copy that ran out of room part-way leaves a short target behind that
   looks installed: remove it. Any other failure (missing source, locked or
   read-only target) never wrote the target, so it is left as it was. */
static void RemovePartialTarget(DWORD error, const char *target)
{
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL)
        DeleteFileA(target);
}

/* The copy keeps the source's attributes, as CopyFile documents (some
   platforms' CopyFile drops hidden and system from the copy of a read-only
   file), but never read-only: files on a CD all are, and the next run from
   the same medium could not replace it. */
static void TakeAttributes(const char *source, const char *target)
{
    DWORD attributes = GetFileAttributesA(source);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return;
    attributes &= ~FILE_ATTRIBUTE_READONLY;
    if (GetFileAttributesA(target) != attributes)   /* a write saved on the usual copy */
        SetFileAttributesA(target, attributes);
}

void CopyInstallFile(const char *fromDir, const char *toDir, const char *name)
{
    char source[PATH_TEXT_SIZE], target[PATH_TEXT_SIZE];
    if (JoinPath(fromDir, name, source, sizeof source)
        && JoinPath(toDir, name, target, sizeof target)) {
        if (CopyFileA(source, target, FALSE)) {
            TakeAttributes(source, target);
            return;
        }
        RemovePartialTarget(GetLastError(), target);
    }
    char message[PATH_TEXT_SIZE];
    FormatCopyMessage(name, message, sizeof message);
    AbortSetup(message);
}
