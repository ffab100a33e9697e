/* The shell's link object, through the component library that is loaded
   only when links are made or read: importing it would load it, and
   everything it needs, at every start. */
#ifndef MORVALEN_SHELL_LINK_H
#define MORVALEN_SHELL_LINK_H

#include <windows.h>
#include <shlobj.h>

typedef HRESULT (WINAPI *CoCreateInstanceFn)(REFCLSID, LPUNKNOWN, DWORD, REFIID, LPVOID *);
typedef void (WINAPI *CoUninitializeFn)();

struct ComLibrary {
    HMODULE ole;
    CoCreateInstanceFn createInstance;
    CoUninitializeFn uninitialize;
};

/* Loads and initialises the library for the thread; false, and nothing to
   end, when the platform lacks it. */
bool StartComLibrary(ComLibrary *com);
void EndComLibrary(ComLibrary *com);

/* Spelled out here so that no GUID library has to be linked. */
extern const GUID kClsidShellLink;
extern const GUID kIidShellLinkA;
extern const GUID kIidPersistFile;

/* The user's Programs folder, empty when the platform names none. False when
   the value does not fit: cut short it would name another folder. */
bool ReadProgramsDir(char *dir, DWORD capacity);

#endif
