/* Queries of the platform that more than one subsystem asks. */
#ifndef MORVALEN_PLATFORM_H
#define MORVALEN_PLATFORM_H

#include <windows.h>
#include <stddef.h>

/* The current directory's drive letter, or 0 when it has none (a network path). */
char CurrentDriveLetter();

/* A library of the platform (its name without ".dll"), by its full path in
   the system directory: the setup's own folder may hold a file of the same
   name that others put there. */
HMODULE LoadSystemLibrary(const char *name);

/* A function of kernel32 that older systems may lack: 0 then. */
void *KernelFunction(const char *name);

typedef BOOL (WINAPI *SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL (WINAPI *SetDllDirectoryFn)(LPCSTR);

/* The setup is started from its media's folder, which others may be able to
   write to, and runs with administrator rights: no library found there may
   load in place of the platform's. Either call may be missing (0): older
   systems lack them, and then the libraries the platform loads late are
   loaded from the system directory in advance. */
void KeepLibrarySearchToTheSystem(SetDefaultDllDirectoriesFn setDefault, SetDllDirectoryFn setDllDirectory);

/* The platform's own Notepad by its full path; false when it does not fit. */
bool NotepadPath(char *path, size_t size);

#endif
