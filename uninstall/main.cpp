#include "uninstall_state.h"
#include "removal_text.h"
#include "common/platform.h"
#include "common/product.h"
#include "common/text.h"

UninstallState g_uninstall;

static const char kCaption[] = "Uninstall Morvalen";

void ReportWithFolder(const char *format, UINT icon)
{
    if (g_uninstall.silent)
        return;
    char text[UNINSTALL_TEXT_SIZE];
    FormatWithText(format, g_uninstall.installDir, text, sizeof text);
    MessageBoxA(0, text, kCaption, MB_OK | icon);
}

/* The folder this program runs from is the installation it removes: the
   uninstall entry, the link and the group item all start it there. */
static bool FindInstallation()
{
    DWORD length = GetModuleFileNameA(0, g_uninstall.selfPath, sizeof g_uninstall.selfPath);
    return length != 0 && length < sizeof g_uninstall.selfPath
        && FolderOfPath(g_uninstall.selfPath, g_uninstall.installDir, sizeof g_uninstall.installDir);
}

/* Beside the setup it is the release media (a CD, a share, the unpacked
   download), where nothing was installed and nothing may go. */
static bool IsReleaseMedia()
{
    char setup[MAX_PATH];
    return !JoinPath(g_uninstall.installDir, "setup.exe", setup, sizeof setup)
        || GetFileAttributesA(setup) != INVALID_FILE_ATTRIBUTES;
}

static void RemoveRecords()
{
    /* The group's items name the latest installation, which the record names. */
    bool recorded = InstallRecordNamesFolder();
    if (g_uninstall.shellGeneration >= 4)
        RemoveMenuLinks();
    else if (recorded)
        RemoveProgmanGroup();
    RemoveUninstallEntry();
    if (recorded)
        RemoveInstallRecord();
}

static int RunUninstall()
{
    StartPlatform();
    /* Out of the installation, so that its folder can go; the system
       directory is one nobody else can write to. */
    char system[MAX_PATH];
    UINT length = GetSystemDirectoryA(system, sizeof system);
    if (length && length < sizeof system)
        SetCurrentDirectoryA(system);
    g_uninstall.silent = HasSilentSwitch(GetCommandLineA());
    g_uninstall.shellGeneration = ShellGeneration();
    if (!FindInstallation())
        return 1;
    if (IsReleaseMedia()) {
        ReportWithFolder("Nothing was removed: %s holds the Morvalen setup, not an installation.", MB_ICONERROR);
        return 1;
    }
    if (!g_uninstall.silent) {
        char question[UNINSTALL_TEXT_SIZE];
        FormatWithText("Remove Morvalen 2.0 from %s?", g_uninstall.installDir, question, sizeof question);
        if (MessageBoxA(0, question, kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES)
            return 2;
    }
    if (!RemoveInstalledFiles())
        return 1;
    RemoveRecords();
    RemoveSelfAndFolder();
    ReportWithFolder(g_uninstall.folderKept
        ? "Morvalen 2.0 was removed from your computer.\n"
          "The folder %s was kept: it holds files that Morvalen did not install."
        : "Morvalen 2.0 was removed from your computer.", MB_ICONINFORMATION);
    return 0;
}

/* The process starts here, without the C runtime's start-up code, and ends
   only when the removal is done: whoever started it waits for its status. */
extern "C" void WinMainCRTStartup()
{
    ExitProcess(RunUninstall());
}
