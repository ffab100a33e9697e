#include "uninstall_state.h"
#include "removal_text.h"
#include "common/platform.h"
#include "common/product.h"
#include "common/text.h"

/* Only the files the setup copied, by the names it gave them: whatever else
   the folder holds is the user's. The uninstaller itself goes last. */
bool RemoveInstalledFiles()
{
    for (int i = 0; i < 3; ++i) {
        char path[MAX_PATH];
        if (!JoinPath(g_uninstall.installDir, kPayloadFiles[i], path, sizeof path))
            continue;
        DWORD attributes = GetFileAttributesA(path);
        if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
            continue;   /* already gone, or a folder of the same name that is not ours */
        /* Copied from a CD, a file may be read-only; that is no reason to keep it. */
        if (attributes & FILE_ATTRIBUTE_READONLY)
            SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
        if (DeleteFileA(path))
            continue;
        SetFileAttributesA(path, attributes);
        char text[UNINSTALL_TEXT_SIZE];
        FormatWithText("Can't remove \"%s\". Close Morvalen and run the uninstaller again.",
                       kPayloadFiles[i], text, sizeof text);
        if (!g_uninstall.silent)
            MessageBoxA(0, text, "Uninstall Morvalen", MB_OK | MB_ICONERROR);
        return false;
    }
    return true;
}

typedef BOOL (WINAPI *MoveFileExFn)(LPCSTR, LPCSTR, DWORD);
typedef BOOLEAN (WINAPI *GenRandomFn)(PVOID, ULONG);

/* A name nobody can know beforehand: the system's random numbers where it
   has them (XP on), else what differs between any two runs. */
static uint32_t UnguessableNumber(uint32_t attempt)
{
    uint32_t value = 0;
    GenRandomFn random = (GenRandomFn)(void *)GetProcAddress(GetModuleHandleA("advapi32"), "SystemFunction036");
    if (random && random(&value, sizeof value))
        return value;
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    value = (uint32_t)counter.LowPart ^ now.dwLowDateTime ^ (GetCurrentProcessId() << 16) ^ GetTickCount();
    value ^= attempt * 0x9E3779B9u;
    value ^= value >> 15;
    value *= 0x2C1B3C6Du;
    return value ^ (value >> 12);
}

static bool IsWindows95Family()
{
    return (GetVersion() & 0x80000000u) != 0;
}

/* Where the running program's file goes: on the NT family a new folder of
   its own in the temporary folder, made here and so private to this user;
   on the Windows 95 family, whose restart removes files but not folders,
   the temporary folder itself under a new name. */
static bool MoveSelfToTemporary(char *folder, char *moved)
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp)
        return false;
    if (EndsWithSeparator(temp))
        temp[length - 1] = '\0';   /* the joins below put in their own */
    for (uint32_t attempt = 0; attempt < 16; ++attempt) {
        char name[32];
        FormatPrivateName(UnguessableNumber(attempt), name, sizeof name);
        if (IsWindows95Family()) {
            folder[0] = '\0';
            if (!JoinPath(temp, name, moved, MAX_PATH))
                return false;
        } else {
            if (!JoinPath(temp, name, folder, MAX_PATH) || !JoinPath(folder, kUninstallerFile, moved, MAX_PATH))
                return false;
            /* Only a folder made now: one that was there may be someone else's. */
            if (!CreateDirectoryA(folder, 0))
                continue;
        }
        /* A running program's file can be renamed on the same volume, though
           not deleted. Nothing of the installation is then left running. */
        if (MoveFileA(g_uninstall.selfPath, moved))
            return true;
        if (folder[0])
            RemoveDirectoryA(folder);
        if (GetLastError() != ERROR_ALREADY_EXISTS && GetLastError() != ERROR_FILE_EXISTS)
            return false;
    }
    return false;
}

/* WININIT.INI is read whole by the restart of the Windows 95 family. */
static char g_wininit[16384];

/* The Windows 95 family's restart deletes what WININIT.INI's [rename]
   section names with NUL=, in short form. The section is edited by hand:
   WritePrivateProfileString keeps only one NUL= line, and another
   program's would be lost. */
static void DeleteAtRestartByWininit(const char *path)
{
    char shortPath[MAX_PATH], windows[MAX_PATH], wininit[MAX_PATH];
    DWORD length = GetShortPathNameA(path, shortPath, sizeof shortPath);
    UINT dirLength = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof shortPath || dirLength == 0 || dirLength >= sizeof windows
        || !JoinPath(windows, "wininit.ini", wininit, sizeof wininit))
        return;
    HANDLE file = CreateFileA(wininit, GENERIC_READ | GENERIC_WRITE, 0, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD read = 0;
    if (ReadFile(file, g_wininit, sizeof g_wininit - 1, &read, 0) && read < sizeof g_wininit - 1) {
        g_wininit[read] = '\0';
        DWORD written;
        if (TextLength(g_wininit) == read && AddRenameDeletion(g_wininit, sizeof g_wininit, shortPath)
            && SetFilePointer(file, 0, 0, FILE_BEGIN) == 0)
            WriteFile(file, g_wininit, (DWORD)TextLength(g_wininit), &written, 0);
    }
    CloseHandle(file);
}

/* The file, and then its folder, at the next restart. */
static void DeleteAtRestart(const char *path, const char *folder)
{
    if (IsWindows95Family()) {
        DeleteAtRestartByWininit(path);
        return;
    }
    MoveFileExFn moveFileEx = (MoveFileExFn)KernelFunction("MoveFileExA");
    if (!moveFileEx)
        return;
    moveFileEx(path, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
    if (folder && folder[0])
        moveFileEx(folder, 0, MOVEFILE_DELAY_UNTIL_REBOOT);
}

void RemoveSelfAndFolder()
{
    char folder[MAX_PATH], moved[MAX_PATH];
    if (MoveSelfToTemporary(folder, moved)) {
        DeleteAtRestart(moved, folder);
    } else {
        /* Across volumes the file cannot move: it and the folder, then
           empty, go at the next restart. */
        DeleteAtRestart(g_uninstall.selfPath, g_uninstall.installDir);
    }
    if (RemoveDirectoryA(g_uninstall.installDir))
        return;
    /* What else is left in it is not ours, unless it is this program's
       own file that could not move. */
    char pattern[MAX_PATH];
    if (!JoinPath(g_uninstall.installDir, "*", pattern, sizeof pattern))
        return;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(pattern, &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        const char *name = found.cFileName;
        if (TextEquals(name, ".") || TextEquals(name, ".."))
            continue;
        char path[MAX_PATH];
        if (JoinPath(g_uninstall.installDir, name, path, sizeof path) && SamePath(path, g_uninstall.selfPath))
            continue;
        g_uninstall.folderKept = 1;
    } while (FindNextFileA(search, &found));
    FindClose(search);
}
