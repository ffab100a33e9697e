// Test helper for tests/wine/test_faults.py: holds a file open the way a
// running program would, so that the setup meets a locked target.
//
//   locker PATH [delete] [SECONDS]
//
// Opens PATH for reading without sharing (with "delete": sharing only
// deletion, as some programs do), prints "locked" once it holds it, and keeps
// it until killed or SECONDS (120) have passed. Exits 2 when it cannot open
// the file, after printing "error\t<code>".
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char **argv)
{
    if (argc < 2) {
        fputs("usage: locker PATH [delete] [SECONDS]\n", stderr);
        return 3;
    }
    int next = 2;
    DWORD share = 0;
    if (argc > next && strcmp(argv[next], "delete") == 0) {
        share = FILE_SHARE_DELETE;
        ++next;
    }
    DWORD seconds = argc > next ? (DWORD)atoi(argv[next]) : 120;
    HANDLE file = CreateFileA(argv[1], GENERIC_READ, share, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE) {
        printf("error\t%lu\n", GetLastError());
        return 2;
    }
    puts("locked");
    fflush(stdout);
    // A test that dies without killing us must not leave the file held for ever.
    Sleep(seconds * 1000);
    CloseHandle(file);
    return 0;
}
