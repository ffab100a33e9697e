#include "platform.h"
#include "setup_state.h"
#include "text.h"

char CurrentDriveLetter()
{
    char current[PATH_TEXT_SIZE];
    DWORD length = GetCurrentDirectoryA(sizeof current, current);
    if (length == 0 || length >= sizeof current)
        return 0;
    return DriveLetterOf(current);
}
