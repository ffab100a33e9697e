// Stand-in for the Morvalen uninstaller: the setup only copies it and names it
// in the uninstall entry, so it does nothing and succeeds.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    return 0;
}
