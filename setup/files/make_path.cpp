#include "files.h"
#include "path_text.h"
#include "../setup_state.h"
#include "common/text.h"

int MakeInstallPath(const char *path)
{
    char work[PATH_TEXT_SIZE];
    if (!CopyText(work, sizeof work, path))
        return 0;

    /* The walk starts at the root of the drive or network share, which the
       sequence has given every directory. */
    char root[PATH_TEXT_SIZE];
    char *cursor = work + RootLength(work);
    if (!CopyRoot(work, root, sizeof root))
        return 0;
    if (!SetCurrentDirectoryA(root)) {
        MessageBoxA(0, root, "Can't change to directory", MB_OK | MB_ICONERROR);
        return 0;
    }
    /* An existing directory is fine: only entering it decides. */
    while (char *component = NextComponent(&cursor)) {
        CreateDirectoryA(component, 0);
        if (!SetCurrentDirectoryA(component))
            return 0;
    }
    return 1;
}
