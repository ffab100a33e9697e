#include "files.h"
#include "path_text.h"
#include "../messages.h"
#include "../setup_state.h"

static DWORD FileSize(const char *path, bool *exists)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(path, &found);
    *exists = search != INVALID_HANDLE_VALUE;
    if (!*exists)
        return 0;
    FindClose(search);
    return found.nFileSizeLow;
}

/* A copy that failed part-way (a full disk) can leave a short target behind
   that looks installed: remove it. A target the copy never touched (missing
   source, locked or read-only target) is left as it was. */
static void RemovePartialTarget(const char *source, const char *target)
{
    bool sourceExists, targetExists;
    DWORD sourceSize = FileSize(source, &sourceExists);
    DWORD targetSize = FileSize(target, &targetExists);
    if (sourceExists && targetExists && targetSize != sourceSize)
        DeleteFileA(target);
}

void CopyInstallFile(const char *fromDir, const char *toDir, const char *name)
{
    char source[PATH_TEXT_SIZE], target[PATH_TEXT_SIZE];
    if (JoinPath(fromDir, name, source, sizeof source)
        && JoinPath(toDir, name, target, sizeof target)) {
        if (CopyFileA(source, target, FALSE))
            return;
        RemovePartialTarget(source, target);
    }
    char message[PATH_TEXT_SIZE];
    FormatCopyMessage(name, message, sizeof message);
    AbortSetup(message);
}
