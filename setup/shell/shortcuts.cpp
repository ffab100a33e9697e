#include "shell.h"
#include "shell_text.h"
#include "../setup_state.h"
#include "common/text.h"
#include "common/platform.h"
#include "common/product.h"
#include <shlobj.h>

/* Spelled out here so that no GUID library has to be linked. */
static const GUID kClsidShellLink =
    { 0x00021401, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
static const GUID kIidShellLinkA =
    { 0x000214EE, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };
static const GUID kIidPersistFile =
    { 0x0000010B, 0x0000, 0x0000, { 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46 } };

static const char kShellFoldersKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

/* The component library is loaded only when links are made: importing it
   would load it, and everything it needs, at every start of the setup. */
typedef HRESULT (WINAPI *CoInitializeFn)(LPVOID);
typedef void (WINAPI *CoUninitializeFn)();
typedef HRESULT (WINAPI *CoCreateInstanceFn)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID *);

static CoCreateInstanceFn g_coCreateInstance;

HRESULT CreateShortcut(const char *target, const char *linkPath, const char *description)
{
    if (!g_coCreateInstance)
        return E_FAIL;
    IShellLinkA *link;
    HRESULT status = g_coCreateInstance(kClsidShellLink, 0, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                        (void **)&link);
    if (FAILED(status))
        return status;
    link->SetPath(target);
    link->SetDescription(description);
    IPersistFile *file;
    status = link->QueryInterface(kIidPersistFile, (void **)&file);
    if (SUCCEEDED(status)) {
        WCHAR widePath[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH))
            status = file->Save(widePath, TRUE);
        else
            status = E_FAIL;
        file->Release();
    }
    link->Release();
    return status;
}

/* An entry whose texts do not fit is skipped; the others still come. */
HRESULT AddMenuShortcut(const char *installDir, const char *fileName, const char *displayName)
{
    char linkPath[LINK_TEXT_SIZE], description[LINK_TEXT_SIZE], target[LINK_TEXT_SIZE];
    if (!FormatLinkPath(g_setup.programsDir, displayName, linkPath, sizeof linkPath)
        || !FormatLinkDescription(fileName, description, sizeof description)
        || !FormatLinkTarget(installDir, fileName, target, sizeof target))
        return E_FAIL;
    return CreateShortcut(target, linkPath, description);
}

/* The user's Programs folder, empty when the platform names none. False when
   the value does not fit the buffer: cut short it would name another folder,
   and no link path under it could fit anyway. */
static bool ReadProgramsDir()
{
    char *dir = g_setup.programsDir;
    const DWORD capacity = sizeof g_setup.programsDir;
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

void CreateMenuShortcuts()
{
    HMODULE ole = LoadSystemLibrary("ole32");
    if (!ole)
        return;
    CoInitializeFn coInitialize = (CoInitializeFn)(void *)GetProcAddress(ole, "CoInitialize");
    CoUninitializeFn coUninitialize = (CoUninitializeFn)(void *)GetProcAddress(ole, "CoUninitialize");
    g_coCreateInstance = (CoCreateInstanceFn)(void *)GetProcAddress(ole, "CoCreateInstance");
    if (!coInitialize || !coUninitialize || !g_coCreateInstance) {
        g_coCreateInstance = 0;
        FreeLibrary(ole);
        return;
    }
    coInitialize(0);
    if (ReadProgramsDir()) {
        char folder[PATH_TEXT_SIZE];
        if (JoinPath(g_setup.programsDir, "Morvalen", folder, sizeof folder))
            CreateDirectoryA(folder, 0);
        for (const MenuEntry &entry : kMenuEntries)
            AddMenuShortcut(g_setup.installDir, entry.fileName, entry.displayName);
    }
    coUninitialize();
    g_coCreateInstance = 0;
    FreeLibrary(ole);
}
