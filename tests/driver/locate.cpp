// Where a control of a shown dialog is on the screen, for a walk that clicks
// with the real mouse (scripts/demo_walk.py): taken from the dialog at run
// time, as fonts and metrics differ between Wine releases.
//
//   locate CAPTION ID [ENTRY]
//
// prints "X<TAB>Y<TAB>TEXT": the centre of the control with this id in the
// shown dialog (or message box) with this caption, or of the list box entry
// ENTRY, in screen coordinates, and the control's text (UTF-8). Exits 1 when
// the dialog, the control or the entry is not there, 3 on a usage error.
#include <windows.h>
#include <shellapi.h>
#include <stdio.h>
#include <wchar.h>

int main()
{
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc < 3 || argc > 4) {
        fputs("usage: locate CAPTION ID [ENTRY]\n", stderr);
        return 3;
    }
    HWND dialog = FindWindowW(L"#32770", argv[1]);
    HWND control = dialog && IsWindowVisible(dialog) ? GetDlgItem(dialog, _wtoi(argv[2])) : 0;
    if (!control)
        return 1;
    RECT rect;
    if (argc == 4) {
        // The W messages: Wine passes the A ones' texts between processes cut short.
        LRESULT index = SendMessageW(control, LB_FINDSTRINGEXACT, (WPARAM)-1, (LPARAM)argv[3]);
        if (index == LB_ERR || SendMessageW(control, LB_GETITEMRECT, (WPARAM)index, (LPARAM)&rect) == LB_ERR)
            return 1;
        MapWindowPoints(control, 0, (POINT *)&rect, 2);
    } else {
        GetWindowRect(control, &rect);
    }
    wchar_t text[512] = L"";
    GetWindowTextW(control, text, 512);
    char utf8[2048];
    if (WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, 0, 0) <= 0)
        utf8[0] = '\0';
    printf("%ld\t%ld\t%s\n", (rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2, utf8);
    return 0;
}
