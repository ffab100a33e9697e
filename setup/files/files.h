/* File placement: the directory chain and the payload copy. */
#ifndef MORVALEN_FILES_H
#define MORVALEN_FILES_H

/* Creates every component of path, from its drive or network root, and
   leaves the current directory there. */
int MakeInstallPath(const char *path);

/* Copies one payload file; aborts the setup when it cannot. */
void CopyInstallFile(const char *fromDir, const char *toDir, const char *name);

#endif
