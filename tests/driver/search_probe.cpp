// Runs the setup's own start-up of the library search as a platform with or
// without the newer calls would, then loads libraries by their bare names as
// the platform does later, and prints where each came from.
//
//   search_probe MODE NAME...
//   MODE: default  SetDefaultDllDirectories and SetDllDirectoryA present (Windows 8 on)
//         dlldir   only SetDllDirectoryA (XP SP1 to 7 without the update)
//         none     neither (NT 4, 2000)
//         system   no start-up: LoadSystemLibrary(first NAME) alone
// Prints "NAME\tPATH" per NAME, PATH "-" when nothing was loaded.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "common/platform.h"

int main(int argc, char **argv)
{
    if (argc < 3)
        return 3;
    const char *mode = argv[1];
    if (!strcmp(mode, "system")) {
        LoadSystemLibrary(argv[2]);
    } else {
        void *setDefault = !strcmp(mode, "default") ? KernelFunction("SetDefaultDllDirectories") : 0;
        void *setDllDirectory = strcmp(mode, "none") ? KernelFunction("SetDllDirectoryA") : 0;
        KeepLibrarySearchToTheSystem((SetDefaultDllDirectoriesFn)setDefault, (SetDllDirectoryFn)setDllDirectory);
    }
    for (int i = 2; i < argc; ++i) {
        char name[MAX_PATH], path[MAX_PATH] = "-";
        snprintf(name, sizeof name, "%s.dll", argv[i]);
        HMODULE module = strcmp(mode, "system") ? LoadLibraryA(name) : GetModuleHandleA(name);
        if (module)
            GetModuleFileNameA(module, path, sizeof path);
        printf("%s\t%s\n", argv[i], path);
    }
    return 0;
}
