#include "shell_link.h"
#include "platform.h"

extern const GUID kClsidShellLink =
    { 0x00021401, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
extern const GUID kIidShellLinkA =
    { 0x000214EE, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
extern const GUID kIidPersistFile =
    { 0x0000010B, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };

typedef HRESULT (WINAPI *CoInitializeFn)(LPVOID);

bool StartComLibrary(ComLibrary *com)
{
    com->ole = LoadSystemLibrary("ole32");
    if (!com->ole)
        return false;
    CoInitializeFn coInitialize = (CoInitializeFn)(void *)GetProcAddress(com->ole, "CoInitialize");
    com->uninitialize = (CoUninitializeFn)(void *)GetProcAddress(com->ole, "CoUninitialize");
    com->createInstance = (CoCreateInstanceFn)(void *)GetProcAddress(com->ole, "CoCreateInstance");
    if (!coInitialize || !com->uninitialize || !com->createInstance) {
        FreeLibrary(com->ole);
        return false;
    }
    coInitialize(0);
    return true;
}

void EndComLibrary(ComLibrary *com)
{
    com->uninitialize();
    FreeLibrary(com->ole);
}

static const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

bool ReadProgramsDir(char *dir, DWORD capacity)
{
    dir[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return true;
    DWORD size = capacity;
    LONG status = RegQueryValueExA(key, "Programs", 0, 0, (BYTE *)dir, &size);
    RegCloseKey(key);
    bool tooLong = status == ERROR_MORE_DATA
        || (status == ERROR_SUCCESS && size >= capacity && dir[capacity - 1] != '\0');
    if (status != ERROR_SUCCESS || tooLong)
        dir[0] = '\0';
    else if (size < capacity)
        dir[size] = '\0';     /* a value may be stored without its NUL */
    return !tooLong;
}
