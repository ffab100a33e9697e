// The window station that the tests name in TEST_WINDOW_STATION (made if it
// is new), with its desktop "Default". A test program joins it before it has
// any window and starts its programs there: the tests name one where no
// desktop shell runs, so that no Program Manager answers DDE there unless a
// test starts its own, and no shell watches what the programs do.
#ifndef MORVALEN_TEST_STATION_H
#define MORVALEN_TEST_STATION_H

#include <windows.h>
#include <stdio.h>

// Returns "station\Default" for the programs' STARTUPINFO; "" without a
// station named; 0 when it could not be joined.
inline const wchar_t *JoinTestStation()
{
    static wchar_t desktop[96];
    wchar_t name[64];
    DWORD length = GetEnvironmentVariableW(L"TEST_WINDOW_STATION", name, 64);
    if (length == 0 || length >= 64)
        return L"";
    HWINSTA station = CreateWindowStationW(name, 0, WINSTA_ALL_ACCESS, 0);
    HDESK desk = station && SetProcessWindowStation(station)
                 ? CreateDesktopW(L"Default", 0, 0, 0, GENERIC_ALL, 0) : 0;
    if (!desk || !SetThreadDesktop(desk))
        return 0;
    _snwprintf(desktop, 96, L"%ls\\Default", name);
    return desktop;
}

#endif
