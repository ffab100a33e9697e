// Launch recorder: stands in for the programs the setup starts. It only
// records how it was started (its own full path, command line, current
// directory, creation time) in C:\morvalen-launch.log and exits, so a run of
// the setup can be checked from outside. The tests' Morvalen.exe, their
// Notepad and the C:\Program.exe trap are this same program under three names.
#include <windows.h>
#include <stdio.h>

static const char kLogPath[] = "C:\\morvalen-launch.log";

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char module[MAX_PATH] = "";
    GetModuleFileNameA(0, module, sizeof module);

    char directory[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof directory, directory);

    // Creation times tell the launch order even when the lines are written out of order.
    FILETIME created = {}, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    unsigned long long createdAt = ((unsigned long long)created.dwHighDateTime << 32) | created.dwLowDateTime;

    char line[4096];
    int length = snprintf(line, sizeof line, "%s\t%s\t%s\t%llu\r\n",
                          module, GetCommandLineA(), directory, createdAt);
    if (length < 0 || length >= (int)sizeof line)
        return 2;

    // Two programs started together must not mix their lines: the file is
    // opened without sharing, and the later one waits for the earlier.
    for (int attempt = 0; attempt < 500; ++attempt) {
        HANDLE log = CreateFileA(kLogPath, FILE_APPEND_DATA, 0, 0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
        if (log != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            BOOL ok = WriteFile(log, line, (DWORD)length, &written, 0);
            CloseHandle(log);
            return ok && written == (DWORD)length ? 0 : 1;
        }
        if (GetLastError() != ERROR_SHARING_VIOLATION)
            return 1;
        Sleep(10);
    }
    return 1;
}
