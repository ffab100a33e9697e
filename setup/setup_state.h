/* The one record of the setup run, shared by every stage. */
#ifndef MORVALEN_SETUP_STATE_H
#define MORVALEN_SETUP_STATE_H

#include <windows.h>

#define PATH_TEXT_SIZE      512     /* installDir, sourceDir and every formatted text */
#define PROGRAMS_DIR_SIZE   260

struct SetupState {
    char installDir[PATH_TEXT_SIZE];
    char sourceDir[PATH_TEXT_SIZE];
    char programsDir[PROGRAMS_DIR_SIZE];
    int addToMenu;
    int viewReadme;
    int startAfter;
    DWORD requiredBytes;
    int shellGeneration;
    HINSTANCE instance;
    DWORD ddeInstance;
};

extern SetupState g_setup;

/* Shows the abort box and ends the process with status 1. */
void AbortSetup(const char *message);

/* Runs the whole program after the instance handle is known; the result is the exit status. */
int RunSetup(HINSTANCE instance);

#endif
