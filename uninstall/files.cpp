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

typedef BOOL (WINAPI *PlaceFn)(LPCSTR, LPCSTR);

static BOOL WINAPI CopyToNewFile(LPCSTR from, LPCSTR to)
{
    return CopyFileA(from, to, TRUE);
}

/* Puts this program's file (moved or copied) in a new place of its own in
   the temporary folder: on the NT family a new folder, made here and so
   private to this user, holding it as Uninstal.exe; on the Windows 95
   family, whose restart removes files but not folders, the temporary
   folder itself under a new name with the extension given. */
static bool PlaceInTemporary(PlaceFn place, const char *extension, char *folder, char *path)
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    if (length == 0 || length >= sizeof temp)
        return false;
    if (EndsWithSeparator(temp))
        temp[length - 1] = '\0';   /* the joins below put in their own */
    bool family95 = IsWindows95Family();
    for (uint32_t attempt = 0; attempt < 16; ++attempt) {
        char name[32];
        FormatPrivateName(UnguessableNumber(attempt), family95 ? extension : ".tmp", name, sizeof name);
        folder[0] = '\0';
        if (family95 ? !JoinPath(temp, name, path, MAX_PATH)
                     : !JoinPath(temp, name, folder, MAX_PATH) || !JoinPath(folder, kUninstallerFile, path, MAX_PATH))
            return false;
        /* Only a folder made now: one that was there may be someone else's. */
        if (!family95 && !CreateDirectoryA(folder, 0))
            continue;
        if (place(g_uninstall.selfPath, path))
            return true;
        DWORD error = GetLastError();
        bool taken = error == ERROR_ALREADY_EXISTS || error == ERROR_FILE_EXISTS;
        /* Across volumes a move copies, and fails only on deleting the
           running file: the copy left under our new name is ours to go. */
        if (!taken)
            DeleteFileA(path);
        if (folder[0])
            RemoveDirectoryA(folder);
        if (!taken)
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

/* Where the running program's file cannot move (to another volume; the
   Windows 95 family may refuse to rename a running program's file), a copy
   in the temporary folder waits for this process to end, then deletes the
   file and the folder. What it needs comes through handles it inherits,
   which only a process of its own rights can hand it, not on its command
   line: this process, to wait for, and the folder's name. */
static bool StartFinisher()
{
    char folder[MAX_PATH], copy[MAX_PATH];
    if (!PlaceInTemporary(CopyToNewFile, ".exe", folder, copy))
        return false;
    static SECURITY_ATTRIBUTES inherited;
    inherited.nLength = sizeof inherited;
    inherited.bInheritHandle = TRUE;
    static STARTUPINFOA startup;
    startup.cb = sizeof startup;
    bool started = false;
    HANDLE self, shared = CreateFileMappingA(INVALID_HANDLE_VALUE, &inherited, PAGE_READWRITE, 0, MAX_PATH, 0);
    char *view = shared ? (char *)MapViewOfFile(shared, FILE_MAP_WRITE, 0, 0, 0) : 0;
    if (view) {
        CopyText(view, MAX_PATH, g_uninstall.installDir);
        UnmapViewOfFile(view);
        char command[UNINSTALL_TEXT_SIZE];
        PROCESS_INFORMATION process;
        if (DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0)) {
            started = FormatFinishCommand(copy, (uint32_t)(UINT_PTR)self, (uint32_t)(UINT_PTR)shared, command, sizeof command)
                && CreateProcessA(copy, command, 0, 0, TRUE, 0, 0, g_uninstall.systemDir, &startup, &process);
            if (started) {
                CloseHandle(process.hThread);
                CloseHandle(process.hProcess);
            }
            CloseHandle(self);
        }
    }
    if (shared)
        CloseHandle(shared);
    if (started) {
        DeleteAtRestart(copy, folder);
    } else {
        DeleteFileA(copy);
        RemoveDirectoryA(folder);
    }
    return started;
}

void RemoveSelfAndFolder()
{
    char folder[MAX_PATH], moved[MAX_PATH];
    /* A running program's file can be renamed on the same volume, though
       not deleted: moved out, nothing of the installation is left when this
       process ends. */
    if (PlaceInTemporary(MoveFileA, ".tmp", folder, moved))
        DeleteAtRestart(moved, folder);
    else if (!StartFinisher())
        DeleteAtRestart(g_uninstall.selfPath, g_uninstall.installDir);
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

/* The copy's part: the folder's Uninstal.exe, once the uninstaller has
   ended and the system has let go of its file, then the folder when empty. */
int FinishRemoval(uint32_t process, uint32_t shared)
{
    const char *view = (const char *)MapViewOfFile((HANDLE)(UINT_PTR)shared, FILE_MAP_READ, 0, 0, 0);
    if (!view)
        return 1;
    char folder[MAX_PATH], target[MAX_PATH];
    size_t length = 0;
    for (; length < sizeof folder - 1 && view[length]; ++length)
        folder[length] = view[length];
    folder[length] = '\0';
    UnmapViewOfFile(view);
    /* However long the user leaves the last box open. */
    WaitForSingleObject((HANDLE)(UINT_PTR)process, INFINITE);
    if (!JoinPath(folder, kUninstallerFile, target, sizeof target))
        return 1;
    for (int attempt = 0; attempt < 50 && !DeleteFileA(target); ++attempt)
        Sleep(100);
    RemoveDirectoryA(folder);
    return GetFileAttributesA(target) == INVALID_FILE_ATTRIBUTES ? 0 : 1;
}
