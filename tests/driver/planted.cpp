// A library planted beside the setup under the name of one that the platform
// loads by its bare name while the setup runs. It records in C:\ that it was
// loaded, and from where, then refuses to stay loaded.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID)
{
    if (reason != DLL_PROCESS_ATTACH)
        return TRUE;
    char line[MAX_PATH + 2];
    DWORD length = GetModuleFileNameA(self, line, MAX_PATH);
    line[length++] = '\r';
    line[length++] = '\n';
    HANDLE log = CreateFileA("C:\\morvalen-planted.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             0, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, 0);
    if (log != INVALID_HANDLE_VALUE) {
        DWORD written;
        WriteFile(log, line, length, &written, 0);
        CloseHandle(log);
    }
    return FALSE;
}
