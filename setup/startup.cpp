#include "setup_state.h"
#include "startup.h"
#include "text.h"
#include "platform.h"

SetupState g_setup;

static const char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

/* The Windows 95 family and Win32s set the top bit of the version word; every
   NT-family platform takes the older-shell branch. */
static int ShellGeneration()
{
    if (!(GetVersion() & 0x80000000u))
        return 0;
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return 0;
    return (int)info.dwMajorVersion;
}

static void UseProgramFilesDir()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char value[PATH_TEXT_SIZE];
    DWORD size = sizeof value - 1;
    if (RegQueryValueExA(key, "ProgramFilesDir", 0, 0, (BYTE *)value, &size) == ERROR_SUCCESS) {
        value[size < sizeof value ? size : sizeof value - 1] = '\0';
        char dir[PATH_TEXT_SIZE];
        /* Too long for the product folder: keep the plain default. */
        if (CopyText(dir, sizeof dir, value) && AppendText(dir, sizeof dir, "\\Morvalen"))
            CopyText(g_setup.installDir, sizeof g_setup.installDir, dir);
    }
    RegCloseKey(key);
}

typedef BOOL (WINAPI *SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL (WINAPI *SetDllDirectoryFn)(LPCSTR);

/* Libraries the platform loads by their bare names once the dialogs are up. */
static const char *const kLateLibraries[] = { "uxtheme.dll", "dwmapi.dll" };

/* The setup is started from its media's folder, which others may be able to
   write to, and runs with administrator rights: no library found there may
   load in place of the platform's. The calls are looked up, as older
   systems lack them. */
static void KeepLibrarySearchToTheSystem()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    SetDefaultDllDirectoriesFn setDefault = (SetDefaultDllDirectoriesFn)(void *)GetProcAddress(
        kernel, "SetDefaultDllDirectories");
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    SetDllDirectoryFn setDllDirectory = (SetDllDirectoryFn)(void *)GetProcAddress(kernel, "SetDllDirectoryA");
    if (setDllDirectory)
        setDllDirectory("");   /* takes the current directory out */
    /* The program's own folder is still searched first for a bare name, but
       a library already loaded under that name is used as it is. They stay
       loaded for the whole run on purpose. */
    for (const char *name : kLateLibraries)
        LoadSystemLibrary(name);
}

void StartUp(HINSTANCE instance)
{
    /* A drive without a medium then fails its queries quietly (0kB free, only
       "[..]" listed) instead of raising the platform's own "no disk" box; a
       library the system lacks fails to load without a box of its own. */
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    KeepLibrarySearchToTheSystem();
    /* Paths are ANSI text: in a double-byte code page a trail byte can be
       the separator's byte, so every path scan must know the lead bytes. */
    CPINFO codePage;
    if (GetCPInfo(CP_ACP, &codePage))
        SetLeadByteRanges(codePage.LeadByte, MAX_LEADBYTES);
    g_setup.requiredBytes = 296960;
    g_setup.addToMenu = g_setup.viewReadme = g_setup.startAfter = 1;
    CopyText(g_setup.installDir, sizeof g_setup.installDir, "C:\\MORVALEN");
    g_setup.instance = instance;
    g_setup.shellGeneration = ShellGeneration();
    if (g_setup.shellGeneration >= 4)
        UseProgramFilesDir();
    DWORD length = GetCurrentDirectoryA(sizeof g_setup.sourceDir, g_setup.sourceDir);
    if (length == 0 || length >= sizeof g_setup.sourceDir)
        g_setup.sourceDir[0] = '\0';
}
