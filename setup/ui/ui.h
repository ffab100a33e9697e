/* Directory selection: the two dialogs and the drive and directory queries. */
#ifndef MORVALEN_UI_H
#define MORVALEN_UI_H

#include <windows.h>

INT_PTR CALLBACK SetupDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
/* The browser opened last while any is open: the setup dialog stays
   enabled, and one that ends must close them first. */
extern HWND g_topBrowser;
/* Sent to a browser: end yourself, without Cancel's restore. EndDialog may be
   called only from the dialog's own procedure. WM_APP, as the dialog class
   itself uses the first WM_USER numbers (DM_GETDEFID and on). */
#define WM_END_BROWSER (WM_APP + 0)

INT_PTR CALLBACK BrowseDlgProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

void CenterDialog(HWND window);
ULONGLONG InstallDriveFreeBytes();
/* Shows the free figure of installDir's drive in the control. */
void ShowInstallDriveFree(HWND dialog, int controlId);
void ShowKilobytes(HWND dialog, int controlId, ULONGLONG bytes);
void ListLogicalDrives(char *buffer, size_t size);
void EnsureDriveLetter(char *path);
void FillDirectoryList(HWND listBox, const char *directory);

#endif
