#include "ui.h"
#include "resource.h"
#include "../setup_state.h"

static const char kBanner[] =
    "Morvalen v2.0 - (C) Morvalen Software - December 2026";

static void SelectDirectoryText(HWND window)
{
    HWND edit = GetDlgItem(window, IDC_DIRECTORY);
    SetFocus(edit);
    SendMessageA(edit, EM_SETSEL, 0, -1);
}

static void CheckOption(HWND window, int controlId, int on)
{
    CheckDlgButton(window, controlId, on ? BST_CHECKED : BST_UNCHECKED);
}

static int OptionChecked(HWND window, int controlId)
{
    return IsDlgButtonChecked(window, controlId) == BST_CHECKED ? 1 : 0;
}

static void ReadDirectory(HWND window)
{
    GetDlgItemTextA(window, IDC_DIRECTORY, g_setup.installDir, PATH_TEXT_SIZE);
}

/* Fill the dialog from the state; the focus goes to the directory. */
static void OnInitDialog(HWND window)
{
    CenterDialog(window);
    SetWindowTextA(window, "Morvalen Setup");
    SetDlgItemTextA(window, IDC_BANNER, kBanner);
    SetDlgItemTextA(window, IDC_THANKS, "Thanks for trying Morvalen!");
    SetDlgItemTextA(window, IDC_DIR_LABEL, "Morvalen Installation Directory:");
    SetDlgItemTextA(window, IDC_ADD_TO_MENU, "Add Morvalen to Programs Menu");
    SetDlgItemTextA(window, IDC_START_AFTER, "Start Morvalen after installation");
    SetDlgItemTextA(window, IDOK, "Install Morvalen!");
    SetDlgItemTextA(window, IDC_DIRECTORY, g_setup.installDir);
    SelectDirectoryText(window);
    CheckOption(window, IDC_ADD_TO_MENU, g_setup.addToMenu);
    CheckOption(window, IDC_VIEW_README, g_setup.viewReadme);
    CheckOption(window, IDC_START_AFTER, g_setup.startAfter);
    ShowKilobytes(window, IDC_REQUIRED, g_setup.requiredBytes);
    ShowInstallDriveFree(window, IDC_FREE_SPACE);
}

/* Install or Cancel pressed while browsers are open (the result plus one;
   0: none). Each browser's loop runs inside the one below it, so a dialog
   ended from a loop above its own may never hear of it: the browsers are
   closed first, the top one while its own loop runs, the next once that loop
   has returned, and this dialog last. */
static INT_PTR endAfterBrowsers;

/* A browser ends itself, from its own procedure; this dialog when none is
   open. Without the browsers' Cancel restore: Install has read the field. */
static void EndTopDialog(HWND window, HWND browser, INT_PTR result)
{
    if (browser)
        SendMessageA(browser, WM_END_BROWSER, 0, 0);
    else
        EndDialog(window, result);
}

static void EndSetupDialog(HWND window, INT_PTR result)
{
    if (g_topBrowser)
        endAfterBrowsers = result + 1;
    EndTopDialog(window, g_topBrowser, result);
}

/* The browser edits installDir itself; show its choice only after OK. */
static void OnBrowse(HWND window)
{
    HWND below = g_topBrowser;
    INT_PTR chosen = DialogBoxParamA(g_setup.instance, MAKEINTRESOURCEA(IDD_BROWSE), 0, BrowseDlgProc, 0);
    g_topBrowser = below;
    if (endAfterBrowsers) {
        EndTopDialog(window, below, endAfterBrowsers - 1);
    } else if (chosen != 0) {
        SetDlgItemTextA(window, IDC_DIRECTORY, g_setup.installDir);
        SelectDirectoryText(window);
        ShowInstallDriveFree(window, IDC_FREE_SPACE);
    }
}

/* Typing alone does not measure; leaving the field does. */
static void OnDirectoryLeft(HWND window)
{
    ReadDirectory(window);
    ShowInstallDriveFree(window, IDC_FREE_SPACE);
}

static void OnInstall(HWND window)
{
    ReadDirectory(window);
    g_setup.addToMenu = OptionChecked(window, IDC_ADD_TO_MENU);
    g_setup.viewReadme = OptionChecked(window, IDC_VIEW_README);
    g_setup.startAfter = OptionChecked(window, IDC_START_AFTER);
    EndSetupDialog(window, 1);
}

INT_PTR CALLBACK SetupDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_INITDIALOG) {
        OnInitDialog(window);
        return 0;
    }
    if (message != WM_COMMAND)
        return 0;
    switch (LOWORD(wParam)) {
    case IDC_BROWSE:
        OnBrowse(window);
        return 1;
    case IDC_DIRECTORY:
        if (HIWORD(wParam) == EN_KILLFOCUS)
            OnDirectoryLeft(window);
        return 0;
    case IDOK:
        OnInstall(window);
        return 1;
    case IDCANCEL:
        EndSetupDialog(window, 0);
        return 1;
    }
    return 0;
}
