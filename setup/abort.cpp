#include "setup_state.h"

/* A failed installation must not look like a success to whoever started us. */
void AbortSetup(const char *message)
{
    MessageBoxA(0, message, "Installation Aborted", MB_OK | MB_ICONERROR);
    ExitProcess(1);
}
