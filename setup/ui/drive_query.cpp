#include "ui.h"
#include "dir_text.h"
#include "common/platform.h"
#include "../setup_state.h"
#include "common/text.h"

void CenterDialog(HWND window)
{
    HWND reference = GetParent(window);
    if (!reference)
        reference = GetDesktopWindow();
    RECT outer, inner;
    GetWindowRect(reference, &outer);
    GetWindowRect(window, &inner);
    int left = outer.left + ((outer.right - outer.left) - (inner.right - inner.left)) / 2;
    int top = outer.top + ((outer.bottom - outer.top) - (inner.bottom - inner.top)) / 2;
    SetWindowPos(window, HWND_TOP, left, top, 0, 0, SWP_NOSIZE);
}

typedef BOOL (WINAPI *DiskFreeSpaceExFn)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

ULONGLONG InstallDriveFreeBytes()
{
    /* The drive's or the network share's root; the current drive's otherwise. */
    char root[PATH_TEXT_SIZE];
    const char *volume = CopyRoot(g_setup.installDir, root, sizeof root) ? root : 0;

    /* Looked up at run time: the first Windows 95 edition lacks it, and only
       it reports volumes above 2 GB correctly there. */
    DiskFreeSpaceExFn freeSpaceEx = (DiskFreeSpaceExFn)(void *)KernelFunction("GetDiskFreeSpaceExA");
    if (freeSpaceEx) {
        ULARGE_INTEGER available, total, totalFree;
        if (freeSpaceEx(volume, &available, &total, &totalFree))
            return available.QuadPart;
        return 0;
    }
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
    GetDiskFreeSpaceA(volume, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters);
    return (ULONGLONG)freeClusters * bytesPerSector * sectorsPerCluster;
}

void ShowKilobytes(HWND dialog, int controlId, ULONGLONG bytes)
{
    char figure[32];
    FormatKilobytes(bytes, figure, sizeof figure);
    SetDlgItemTextA(dialog, controlId, figure);
}

void ShowInstallDriveFree(HWND dialog, int controlId)
{
    ShowKilobytes(dialog, controlId, InstallDriveFreeBytes());
}

void ListLogicalDrives(char *buffer, size_t size)
{
    PackDriveList(GetLogicalDrives(), buffer, size);
}

void EnsureDriveLetter(char *path)
{
    CompleteDriveLetter(path, PATH_TEXT_SIZE, CurrentDriveLetter());
}

void FillDirectoryList(HWND listBox, const char *directory)
{
    SendMessageA(listBox, WM_SETREDRAW, FALSE, 0);
    SendMessageA(listBox, LB_RESETCONTENT, 0, 0);
    SendMessageA(listBox, LB_ADDSTRING, 0, (LPARAM)"[..]");

    char pattern[LIST_ENTRY_SIZE];
    WIN32_FIND_DATAA found;
    HANDLE search = MakeSearchPattern(directory, pattern, sizeof pattern)
        ? FindFirstFileA(pattern, &found) : INVALID_HANDLE_VALUE;
    if (search != INVALID_HANDLE_VALUE) {
        do {
            char entry[LIST_ENTRY_SIZE];
            /* "." and ".." are told by name: a root has neither, and the
               order of a search is the file system's, not ours. */
            if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                && !IsDotOrDotDot(found.cFileName)
                && MakeDirectoryEntry(ListedName(found.cFileName, found.cAlternateFileName),
                                      entry, sizeof entry))
                SendMessageA(listBox, LB_ADDSTRING, 0, (LPARAM)entry);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SendMessageA(listBox, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(listBox, 0, TRUE);
}
