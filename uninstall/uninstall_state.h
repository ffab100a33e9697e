/* The one record of the removal run. */
#ifndef MORVALEN_UNINSTALL_STATE_H
#define MORVALEN_UNINSTALL_STATE_H

#include <windows.h>
#include <stdint.h>

#define UNINSTALL_TEXT_SIZE 512     /* every formatted text */

struct UninstallState {
    char installDir[MAX_PATH];  /* the folder this program was started from */
    char selfPath[MAX_PATH];
    int silent;                 /* /S: no question and no box */
    int shellGeneration;
    int folderKept;             /* it holds files that the setup did not put there */
    char systemDir[MAX_PATH];   /* the current directory, which nobody else can write to */
    DWORD ddeInstance;
};

extern UninstallState g_uninstall;

/* The boxes of the removal, left out when silent. */
void ReportWithFolder(const char *format, UINT icon);

/* The installed files, by name; false, after the box, when one stays. */
bool RemoveInstalledFiles();
/* The running program's own file and the folder, when empty. */
void RemoveSelfAndFolder();
/* The copy's part, when the running program's file could not move. */
int FinishRemoval(uint32_t process, uint32_t shared);

bool InstallRecordNamesFolder();
void RemoveInstallRecord();
void RemoveUninstallEntry();
void RemoveMenuLinks();
void RemoveProgmanGroup();

#endif
