#include "product.h"
#include "text.h"

extern const char kProgramFile[] = "Morvalen.exe";
extern const char kUninstallerFile[] = "Uninstal.exe";
extern const char kReadmeFile[] = "readme.txt";

extern const char *const kPayloadFiles[4] = { kProgramFile, "Readme.txt", "Order.txt", kUninstallerFile };

extern const char kRecordFile[] = "morvalen.ini";
extern const char kRecordSection[] = "install";
extern const char kRecordKey[] = "InstallPath";

extern const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Morvalen";

extern const MenuEntry kMenuEntries[4] = {
    { kProgramFile, "Morvalen v2.0" },
    { kUninstallerFile, "Uninstall Morvalen" },
    { kReadmeFile, "Read Me" },
    { "order.txt", "Order Form" },
};

bool FormatUninstallString(const char *dir, char *out, size_t size)
{
    char path[512];
    if (!JoinPath(dir, "UNINSTAL.EXE", path, sizeof path))
        return false;
    if (!HasChar(path, ' '))
        return CopyText(out, size, path);
    return CopyText(out, size, "\"") && AppendText(out, size, path)
        && AppendChar(out, size, '"');
}

bool FormatLinkPath(const char *programsDir, const char *displayName, char *out, size_t size)
{
    return CopyText(out, size, programsDir) && AppendText(out, size, "\\Morvalen\\")
        && AppendText(out, size, displayName) && AppendText(out, size, ".LNK");
}
