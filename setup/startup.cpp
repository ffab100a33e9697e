#include "setup_state.h"
#include "startup.h"
#include "common/text.h"
#include "common/platform.h"

SetupState g_setup;

static const char kVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

static void UseProgramFilesDir()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kVersionKey, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char value[PATH_TEXT_SIZE];
    DWORD size = sizeof value - 1;
    if (RegQueryValueExA(key, "ProgramFilesDir", 0, 0, (BYTE *)value, &size) == ERROR_SUCCESS) {
        value[size < sizeof value ? size : sizeof value - 1] = '\0';
        char dir[PATH_TEXT_SIZE];
        /* Too long for the product folder: keep the plain default. */
        if (CopyText(dir, sizeof dir, value) && AppendText(dir, sizeof dir, "\\Morvalen"))
            CopyText(g_setup.installDir, sizeof g_setup.installDir, dir);
    }
    RegCloseKey(key);
}

/* The error mode the process was started with, for the programs it starts. */
static UINT startErrorMode;

void StartUp(HINSTANCE instance)
{
    /* A drive without a medium then shows 0kB free and only "[..]". */
    startErrorMode = StartPlatform();
    g_setup.requiredBytes = 296960;
    g_setup.addToMenu = g_setup.viewReadme = g_setup.startAfter = 1;
    CopyText(g_setup.installDir, sizeof g_setup.installDir, "C:\\MORVALEN");
    g_setup.instance = instance;
    g_setup.shellGeneration = ShellGeneration();
    if (g_setup.shellGeneration >= 4)
        UseProgramFilesDir();
    DWORD length = GetCurrentDirectoryA(sizeof g_setup.sourceDir, g_setup.sourceDir);
    if (length == 0 || length >= sizeof g_setup.sourceDir)
        g_setup.sourceDir[0] = '\0';
}

void RestoreErrorMode()
{
    SetErrorMode(startErrorMode);
}
