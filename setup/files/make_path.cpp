#include "files.h"
#include "path_text.h"
#include "../platform.h"
#include "../setup_state.h"
#include "../text.h"

int MakeInstallPath(const char *path)
{
    char work[PATH_TEXT_SIZE];
    if (!CopyText(work, sizeof work, path))
        return 0;

    char drive = DriveLetterOf(work);
    char *cursor = work;
    if (drive)
        cursor += 2;
    else
        drive = CurrentDriveLetter();
    if (!drive)
        return 0;

    char root[4] = { drive, ':', '\\', '\0' };
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
