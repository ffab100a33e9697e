/* The one record of the removal run. */
#ifndef MORVALEN_UNINSTALL_STATE_H
#define MORVALEN_UNINSTALL_STATE_H

#include <windows.h>

#define UNINSTALL_TEXT_SIZE 512     /* every formatted text */

struct UninstallState {
    char installDir[MAX_PATH];  /* the folder this program was started from */
    char selfPath[MAX_PATH];
    int silent;                 /* /S: no question and no box */
    int shellGeneration;
    int folderKept;             /* it holds files that the setup did not put there */
    DWORD ddeInstance;
};

extern UninstallState g_uninstall;

/* The boxes of the removal, left out when silent. */
void ReportWithFolder(const char *format, UINT icon);

/* The installed files, by name; false, after the box, when one stays. */
bool RemoveInstalledFiles();
/* The running program's own file and the folder, when empty. */
void RemoveSelfAndFolder();

bool InstallRecordNamesFolder();
void RemoveInstallRecord();
void RemoveUninstallEntry();
void RemoveMenuLinks();
void RemoveProgmanGroup();

#endif
