/* The names of what the setup makes, which the uninstaller must find again:
   the installed files, the menu's links, the records. */
#ifndef MORVALEN_PRODUCT_H
#define MORVALEN_PRODUCT_H

#include <stddef.h>

extern const char kProgramFile[];     /* Morvalen.exe */
extern const char kUninstallerFile[]; /* Uninstal.exe */
extern const char kReadmeFile[];      /* readme.txt */

/* The files the setup copies, in its order, by the names they get. */
extern const char *const kPayloadFiles[4];

/* The install record, a profile file in the Windows directory. */
extern const char kRecordFile[];      /* morvalen.ini */
extern const char kRecordSection[];   /* install */
extern const char kRecordKey[];       /* InstallPath */

/* Under HKEY_LOCAL_MACHINE. */
extern const char kUninstallKey[];

struct MenuEntry {
    const char *fileName;
    const char *displayName;
};
/* The Programs-menu links, in the order they are made. */
extern const MenuEntry kMenuEntries[4];

/* "<dir>\UNINSTAL.EXE", in double quotes when it contains a blank. */
bool FormatUninstallString(const char *dir, char *out, size_t size);

/* "<programsDir>\Morvalen\<displayName>.LNK" */
bool FormatLinkPath(const char *programsDir, const char *displayName, char *out, size_t size);

#endif
