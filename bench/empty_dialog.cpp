// The start-up reference: the setup's dialog and build, and nothing else.
#include <windows.h>
#include "resource.h"

static INT_PTR CALLBACK EmptyDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(window, 0);
        return 1;
    }
    return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return (int)DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), 0, EmptyDlgProc, 0);
}

/* The same entry as the setup's: no C runtime start-up code. */
extern "C" void WinMainCRTStartup()
{
    ExitProcess(WinMain(GetModuleHandleA(0), 0, 0, SW_SHOWDEFAULT));
}
