// The installation reference: on OK, the least an installer does (one
// directory, the four files copied from the current directory), then the
// same completion box as the setup's.
#include <windows.h>
#include "resource.h"

static const char *const kFiles[] = { "Morvalen.exe", "Readme.txt", "Order.txt", "Uninstal.exe" };
static const char kTargetDir[] = "C:\\PLAINCPY";

static INT_PTR CALLBACK PlainDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, LOWORD(wParam) == IDOK);
        return 1;
    }
    return 0;
}

static bool CopyFiles()
{
    CreateDirectoryA(kTargetDir, 0);
    for (const char *name : kFiles) {
        char target[MAX_PATH];
        wsprintfA(target, "%s\\%s", kTargetDir, name);
        if (!CopyFileA(name, target, FALSE))
            return false;
    }
    return true;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    if (DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), 0, PlainDlgProc, 0) != 1)
        return 0;
    if (!CopyFiles()) {
        MessageBoxA(0, "A file could not be copied.", "Installation Aborted", MB_OK | MB_ICONERROR);
        return 1;
    }
    MessageBoxA(0, "Installation Completed!", "Installation Succeded", MB_OK | MB_ICONINFORMATION);
    return 0;
}

/* The same entry as the setup's: no C runtime start-up code. */
extern "C" void WinMainCRTStartup()
{
    ExitProcess(WinMain(GetModuleHandleA(0), 0, 0, SW_SHOWDEFAULT));
}
