#include "platform.h"
#include "text.h"

char CurrentDriveLetter()
{
    char current[MAX_PATH];
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
    return FileInDirectory(GetSystemDirectoryA, name, path, sizeof path) && AppendText(path, sizeof path, ".dll")
        ? LoadLibraryExA(path, 0, LOAD_WITH_ALTERED_SEARCH_PATH) : 0;
}

void *KernelFunction(const char *name)
{
    return (void *)GetProcAddress(GetModuleHandleA("kernel32"), name);
}

/* Libraries that the platform may load late by their bare names and that are
   not among its known ones (Windows 7's dialogs load cryptbase, for one), one
   after the other. A library the system lacks just fails to load. */
static const char kLateLibraries[] =
    "uxtheme\0dwmapi\0userenv\0setupapi\0apphelp\0propsys\0cryptbase\0oleacc\0clbcatq\0version\0";

void KeepLibrarySearchToTheSystem(SetDefaultDllDirectoriesFn setDefault, SetDllDirectoryFn setDllDirectory)
{
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        return;
    if (setDllDirectory)
        setDllDirectory("");   /* takes the current directory out */
    /* The program's own folder is still searched first for a bare name, but
       a library already loaded under that name is used as it is. They stay
       loaded for the whole run on purpose. */
    for (const char *name = kLateLibraries; *name; name += TextLength(name) + 1)
        LoadSystemLibrary(name);
}

/* The Windows 95 family and Win32s set the top bit of the version word; every
   NT-family platform takes the older-shell branch. */
int ShellGeneration()
{
    if (!(GetVersion() & 0x80000000u))
        return 0;
    OSVERSIONINFOA info;
    info.dwOSVersionInfoSize = sizeof info;
    if (!GetVersionExA(&info))
        return 0;
    return (int)info.dwMajorVersion;
}

UINT StartPlatform()
{
    /* A drive without a medium then fails its queries quietly instead of
       raising the platform's own "no disk" box; a library the system lacks
       fails to load without a box of its own. */
    UINT startErrorMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    KeepLibrarySearchToTheSystem((SetDefaultDllDirectoriesFn)KernelFunction("SetDefaultDllDirectories"),
                                 (SetDllDirectoryFn)KernelFunction("SetDllDirectoryA"));
    /* Paths are ANSI text: in a double-byte code page a trail byte can be
       the separator's byte, so every path scan must know the lead bytes. */
    CPINFO codePage;
    if (GetCPInfo(CP_ACP, &codePage))
        SetLeadByteRanges(codePage.LeadByte, MAX_LEADBYTES);
    return startErrorMode;
}

bool NotepadPath(char *path, size_t size)
{
    /* The Windows 95 family and Win32s keep Notepad only in the Windows
       directory. The NT family has it in the system directory too, which a
       terminal server never swaps for a private folder of the user's. */
    DirectoryQuery query = (GetVersion() & 0x80000000u) ? GetWindowsDirectoryA : GetSystemDirectoryA;
    return FileInDirectory(query, "notepad.exe", path, size);
}
