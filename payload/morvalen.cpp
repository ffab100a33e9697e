// Morvalen 2.0 as the setup installs it: a sample application that only says
// what it is and where it was installed, and closes when the user says so.
// It writes nothing, and like the setup it has no C runtime of its own.
#include <windows.h>

#include "common/platform.h"
#include "common/text.h"

static const char kTitle[] = "Morvalen 2.0";

// The folder of the program's own file, which is where it was installed: the
// current directory is whatever the program that started it chose.
static bool OwnFolder(char *folder, DWORD size)
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(0, path, sizeof path);
    return length != 0 && length < sizeof path && FolderOfPath(path, folder, size);
}

static void ShowSample()
{
    char folder[MAX_PATH];
    char text[MAX_PATH + 64];
    if (!(OwnFolder(folder, sizeof folder) && CopyText(text, sizeof text, "Morvalen 2.0 is installed in ")
          && AppendText(text, sizeof text, folder) && AppendText(text, sizeof text, ".")))
        CopyText(text, sizeof text, "Morvalen 2.0 is installed.");
    MessageBoxA(0, text, kTitle, MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
}

// The process starts here, without the C runtime's start-up code (see the setup's).
extern "C" void WinMainCRTStartup()
{
    // Started from the installation folder, which others may write to: no
    // library found there loads in place of the platform's. It also tells
    // the text functions the code page's lead bytes.
    StartPlatform();
    ShowSample();
    ExitProcess(0);
}
