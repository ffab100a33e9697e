#include "setup_state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    return RunSetup(instance);
}

/* The process starts here, without the C runtime's start-up code: the program
   reads no arguments or environment, has no static constructors and buffers
   no output, so it ends straight through the system. */
extern "C" void WinMainCRTStartup()
{
    ExitProcess(WinMain(GetModuleHandleA(0), 0, 0, SW_SHOWDEFAULT));
}
