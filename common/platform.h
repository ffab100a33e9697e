/* The platform's paths and the start-up that the setup and the uninstaller
   share: both run with administrator rights from folders others may write to. */
#ifndef MORVALEN_PLATFORM_H
#define MORVALEN_PLATFORM_H

#include <windows.h>
#include <stddef.h>

/* The current directory's drive letter, or 0 when it has none (a network path). */
char CurrentDriveLetter();

/* A library of the platform (its name without ".dll"), by its full path in
   the system directory: the program's own folder may hold a file of the same
   name that others put there. */
HMODULE LoadSystemLibrary(const char *name);

/* A function of kernel32 that older systems may lack: 0 then. */
void *KernelFunction(const char *name);

typedef BOOL (WINAPI *SetDefaultDllDirectoriesFn)(DWORD);
typedef BOOL (WINAPI *SetDllDirectoryFn)(LPCSTR);

/* The programs are started from folders that others may be able to write
   to (the media's, the temporary one) and run with administrator rights: no
   library found there may load in place of the platform's. Either call may be missing (0): older
   systems lack them, and then the libraries the platform loads late are
   loaded from the system directory in advance. */
void KeepLibrarySearchToTheSystem(SetDefaultDllDirectoriesFn setDefault, SetDllDirectoryFn setDllDirectory);

/* 4 or more for the shell of the Windows 95 family (links in the Programs
   menu, the uninstall entry), 0 for every NT-family platform (the Program
   Manager's group). */
int ShellGeneration();

/* Quiets the platform's critical-error boxes, keeps the library search to
   the system directory and tells the text functions the code page's lead
   bytes. Returns the error mode the process was started with. */
UINT StartPlatform();

/* The platform's own Notepad by its full path; false when it does not fit. */
bool NotepadPath(char *path, size_t size);

#endif
