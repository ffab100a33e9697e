#include "shell.h"
#include "../setup_state.h"
#include "common/product.h"
#include "common/text.h"


void WriteInstallRecord(const char *installDir)
{
    WritePrivateProfileStringA(kRecordSection, kRecordKey, installDir, kRecordFile);
}

static void SetTextValue(HKEY key, const char *name, const char *text)
{
    RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)TextLength(text) + 1);
}

void WriteUninstallEntry(const char *installDir)
{
    HKEY key;
    DWORD disposition;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, (LPSTR)"", REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS, 0, &key, &disposition) == ERROR_SUCCESS)
        RegCloseKey(key);
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
        return;
    SetTextValue(key, "DisplayName", "Morvalen 2.0");
    char command[PATH_TEXT_SIZE];
    if (FormatUninstallString(installDir, command, sizeof command))
        SetTextValue(key, "UninstallString", command);
    RegCloseKey(key);
}
