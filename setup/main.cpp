#include "setup_state.h"
#include <stdlib.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunSetup(instance);
}

/* The process starts here, without the C runtime's start-up code: the program
   reads no arguments or environment and has no static constructors, so all it
   needs from the runtime is the normal exit. */
extern "C" void WinMainCRTStartup()
{
    exit(WinMain(GetModuleHandleA(0), 0, 0, SW_SHOWDEFAULT));
}
