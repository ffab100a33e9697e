#include "ui.h"
#include "dir_text.h"
#include "resource.h"
#include "../setup_state.h"
#include "common/text.h"

/* installDir as it was when the browser opened; Cancel puts it back. */
static char browseSavedDir[PATH_TEXT_SIZE];

HWND g_topBrowser;

static void ShowDirectory(HWND window)
{
    SetDlgItemTextA(window, IDC_DIRECTORY, g_setup.installDir);
    FillDirectoryList(GetDlgItem(window, IDC_DIR_LIST), g_setup.installDir);
}

static void FillDriveList(HWND window)
{
    char drives[DRIVE_LIST_SIZE];
    ListLogicalDrives(drives, sizeof drives);
    for (const char *entry = drives; *entry; entry += TextLength(entry) + 1)
        SendDlgItemMessageA(window, IDC_DRIVE_LIST, CB_ADDSTRING, 0, (LPARAM)entry);

    /* Select the directory's drive; none when it is not in the list, nor for
       a network path, whose "\" starts no entry. */
    char letter[2] = { g_setup.installDir[0], '\0' };
    LRESULT index = letter[0]
        ? SendDlgItemMessageA(window, IDC_DRIVE_LIST, CB_FINDSTRING, (WPARAM)-1, (LPARAM)letter)
        : CB_ERR;
    SendDlgItemMessageA(window, IDC_DRIVE_LIST, CB_SETCURSEL, (WPARAM)index, 0);
}

/* Work on installDir directly, completed with the current drive. */
static void OnInitDialog(HWND window)
{
    CenterDialog(window);
    EnsureDriveLetter(g_setup.installDir);
    SetDlgItemTextA(window, IDC_DIRECTORY, g_setup.installDir);
    ShowKilobytes(window, IDC_REQUIRED, g_setup.requiredBytes);
    ShowInstallDriveFree(window, IDC_FREE_SPACE);
    FillDriveList(window);
    FillDirectoryList(GetDlgItem(window, IDC_DIR_LIST), g_setup.installDir);
    CopyText(browseSavedDir, sizeof browseSavedDir, g_setup.installDir);
    g_topBrowser = window;
}

/* A new drive moves to its root at once. */
static void OnDriveChosen(HWND window)
{
    HWND combo = GetDlgItem(window, IDC_DRIVE_LIST);
    LRESULT index = SendMessageA(combo, CB_GETCURSEL, 0, 0);
    char root[DRIVE_LIST_SIZE];
    if (index == CB_ERR || SendMessageA(combo, CB_GETLBTEXTLEN, (WPARAM)index, 0) >= (LRESULT)sizeof root)
        return;
    SendMessageA(combo, CB_GETLBTEXT, (WPARAM)index, (LPARAM)root);
    CopyText(g_setup.installDir, PATH_TEXT_SIZE, root);
    ShowInstallDriveFree(window, IDC_FREE_SPACE);
    ShowDirectory(window);
}

/* A double click enters the entry, or goes up for "[..]". */
static void OnEntryOpened(HWND window)
{
    HWND list = GetDlgItem(window, IDC_DIR_LIST);
    LRESULT index = SendMessageA(list, LB_GETCURSEL, 0, 0);
    char entry[LIST_ENTRY_SIZE], name[LIST_ENTRY_SIZE];
    if (index == LB_ERR || SendMessageA(list, LB_GETTEXTLEN, (WPARAM)index, 0) >= (LRESULT)sizeof entry)
        return;
    SendMessageA(list, LB_GETTEXT, (WPARAM)index, (LPARAM)entry);
    if (!EntryName(entry, name, sizeof name))
        return;
    if (TextEquals(name, ".."))
        GoToParent(g_setup.installDir, PATH_TEXT_SIZE);
    else if (!EnterChild(g_setup.installDir, PATH_TEXT_SIZE, name))
        return;
    ShowDirectory(window);
}

INT_PTR CALLBACK BrowseDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        OnInitDialog(window);
        return 0;
    }
    /* Install or Cancel pressed in the setup dialog: end, putting nothing back. */
    if (message == WM_END_BROWSER) {
        EndDialog(window, 0);
        return 1;
    }
    if (message != WM_COMMAND)
        return 0;
    switch (LOWORD(wParam)) {
    case IDC_DRIVE_LIST:
        if (HIWORD(wParam) == CBN_SELCHANGE)
            OnDriveChosen(window);
        return 0;
    case IDC_DIR_LIST:
        if (HIWORD(wParam) == LBN_DBLCLK)
            OnEntryOpened(window);
        return 0;
    case IDOK:
        EndDialog(window, 1);
        return 1;
    case IDCANCEL:
        CopyText(g_setup.installDir, PATH_TEXT_SIZE, browseSavedDir);
        EndDialog(window, 0);
        return 1;
    }
    return 0;
}
