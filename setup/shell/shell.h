/* Shell registration: install record, uninstall entry, menu entries. */
#ifndef MORVALEN_SHELL_H
#define MORVALEN_SHELL_H

void WriteInstallRecord(const char *installDir);
void WriteUninstallEntry(const char *installDir);
/* The newer shell's Programs-menu folder with its four links. */
void CreateMenuShortcuts();
/* The older shell's Program Manager group, built over DDE. */
void BuildProgmanGroup();

#endif
