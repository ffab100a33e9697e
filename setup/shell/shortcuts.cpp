#include "shell.h"
#include "shell_text.h"
#include "../setup_state.h"
#include "../text.h"
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

struct MenuEntry {
    const char *fileName;
    const char *displayName;
};

static const MenuEntry kMenuEntries[] = {
    { "Morvalen.exe", "Morvalen v2.0" },
    { "Uninstal.exe", "Uninstall Morvalen" },
    { "readme.txt", "Read Me" },
    { "order.txt", "Order Form" },
};

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

static void ReadProgramsDir()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFoldersKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    DWORD size = sizeof g_setup.programsDir - 1;
    if (RegQueryValueExA(key, "Programs", 0, 0, (BYTE *)g_setup.programsDir, &size) != ERROR_SUCCESS)
        g_setup.programsDir[0] = '\0';
    g_setup.programsDir[sizeof g_setup.programsDir - 1] = '\0';
    RegCloseKey(key);
}

void CreateMenuShortcuts()
{
    HMODULE ole = LoadLibraryA("ole32.dll");
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
    ReadProgramsDir();
    char folder[PATH_TEXT_SIZE];
    if (CopyText(folder, sizeof folder, g_setup.programsDir)
        && AppendText(folder, sizeof folder, "\\Morvalen"))
        CreateDirectoryA(folder, 0);
    for (const MenuEntry &entry : kMenuEntries)
        AddMenuShortcut(g_setup.installDir, entry.fileName, entry.displayName);
    coUninitialize();
    g_coCreateInstance = 0;
    FreeLibrary(ole);
}
