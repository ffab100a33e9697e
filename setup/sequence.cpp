#include "setup_state.h"
#include "startup.h"
#include "messages.h"
#include "common/product.h"
#include "common/text.h"
#include "common/platform.h"
#include "files/files.h"
#include "shell/shell.h"
#include "ui/ui.h"
#include "resource.h"

/* A directory typed without its drive root gets the one it is created from,
   so that the copy, the shell entries and the launches name the same place.
   Anything else stays as confirmed. */
static void MakeInstallDirectory()
{
    if (AddMissingRoot(g_setup.installDir, sizeof g_setup.installDir, CurrentDriveLetter())
        && MakeInstallPath(g_setup.installDir))
        return;
    char message[PATH_TEXT_SIZE];
    FormatMakePathMessage(g_setup.installDir, message, sizeof message);
    AbortSetup(message);
}

/* A command line that does not fit is not run rather than run cut short. */
static void Launch(bool (*format)(const char *, char *, size_t))
{
    char command[PATH_TEXT_SIZE];
    if (format(g_setup.installDir, command, sizeof command))
        WinExec(command, SW_SHOW);
}

/* The platform's own Notepad, by its full path: a notepad.exe that others
   put beside the setup must not run with its administrator rights. */
static bool FormatNotepadCommand(const char *dir, char *out, size_t size)
{
    char notepad[MAX_PATH];
    return NotepadPath(notepad, sizeof notepad) && FormatReadmeCommand(notepad, dir, out, size);
}

int RunSetup(HINSTANCE instance)
{
    StartUp(instance);
    INT_PTR confirmed = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), 0, SetupDlgProc, 0);
    if (confirmed == 0)
        return 0;
    if (confirmed < 0)
        return 1;   /* the dialog could not be shown: nothing was chosen */

    WriteInstallRecord(g_setup.installDir);
    MakeInstallDirectory();
    for (const char *name : kPayloadFiles)
        CopyInstallFile(g_setup.sourceDir, g_setup.installDir, name);
    if (g_setup.shellGeneration >= 4)
        WriteUninstallEntry(g_setup.installDir);
    if (g_setup.addToMenu) {
        if (g_setup.shellGeneration >= 4)
            CreateMenuShortcuts();
        else
            BuildProgmanGroup();
    }
    MessageBoxA(0, "Installation Completed!", "Installation Succeded", MB_OK | MB_ICONINFORMATION);
    RestoreErrorMode();
    if (g_setup.startAfter)
        Launch(FormatStartCommand);
    if (g_setup.viewReadme)
        Launch(FormatNotepadCommand);
    return 0;
}
