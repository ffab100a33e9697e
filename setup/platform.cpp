#include "platform.h"
#include "setup_state.h"
#include "text.h"

char CurrentDriveLetter()
{
    char current[PATH_TEXT_SIZE];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current)
        return 0;
    return DriveLetterOf(current);
}

typedef UINT (WINAPI *DirectoryQuery)(LPSTR, UINT);

static bool FileInDirectory(DirectoryQuery query, const char *name, char *path, size_t size)
{
    char dir[MAX_PATH];
    UINT length = query(dir, sizeof dir);
    return length != 0 && length < sizeof dir && JoinPath(dir, name, path, size);
}

HMODULE LoadSystemLibrary(const char *name)
{
    char path[MAX_PATH];
    /* The altered search path resolves the library's own imports from its
       folder too, not from the setup's. */
    return FileInDirectory(GetSystemDirectoryA, name, path, sizeof path)
        ? LoadLibraryExA(path, 0, LOAD_WITH_ALTERED_SEARCH_PATH) : 0;
}

bool NotepadPath(char *path, size_t size)
{
    /* The Windows 95 family and Win32s keep Notepad only in the Windows
       directory. The NT family has it in the system directory too, which a
       terminal server never swaps for a private folder of the user's. */
    DirectoryQuery query = (GetVersion() & 0x80000000u) ? GetWindowsDirectoryA : GetSystemDirectoryA;
    return FileInDirectory(query, "notepad.exe", path, size);
}
