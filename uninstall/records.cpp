#include "uninstall_state.h"
#include "removal_text.h"
#include "common/platform.h"
#include "common/product.h"
#include "common/progman.h"
#include "common/shell_link.h"
#include "common/text.h"

bool InstallRecordNamesFolder()
{
    char record[UNINSTALL_TEXT_SIZE];
    GetPrivateProfileStringA(kRecordSection, kRecordKey, "", record, sizeof record, kRecordFile);
    return RecordNamesFolder(record, g_uninstall.installDir);
}

/* The profile file is read whole only to see whether anything is left in it. */
static char g_record[4096];

/* The record names this folder, so its key is ours to remove, and the file
   too once nothing else is in it. */
void RemoveInstallRecord()
{
    WritePrivateProfileStringA(kRecordSection, kRecordKey, 0, kRecordFile);
    if (GetPrivateProfileSectionA(kRecordSection, g_record, sizeof g_record, kRecordFile) == 0)
        WritePrivateProfileStringA(kRecordSection, 0, 0, kRecordFile);
    WritePrivateProfileStringA(0, 0, 0, kRecordFile);   /* the platform's cache, written out */
    char windows[MAX_PATH], path[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, sizeof windows);
    if (length == 0 || length >= sizeof windows || !JoinPath(windows, kRecordFile, path, sizeof path))
        return;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, 0, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, 0);
    if (file == INVALID_HANDLE_VALUE)
        return;
    DWORD read = 0;
    bool blank = ReadFile(file, g_record, sizeof g_record, &read, 0) && read < sizeof g_record
        && IsBlankText(g_record, read);
    CloseHandle(file);
    if (blank)
        DeleteFileA(path);
}

/* The entry starts this folder's uninstaller, so it lists this installation. */
void RemoveUninstallEntry()
{
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return;
    char value[UNINSTALL_TEXT_SIZE];
    DWORD type = 0, size = sizeof value - 1;
    LONG status = RegQueryValueExA(key, "UninstallString", 0, &type, (BYTE *)value, &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_SZ)
        return;
    value[size < sizeof value ? size : sizeof value - 1] = '\0';
    if (UninstallStringNamesFolder(value, g_uninstall.installDir))
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstallKey);
}

/* A link of the product's menu folder goes only while its target lies in
   this folder: after a later installation elsewhere it starts that one. */
static void RemoveLinkNamingFolder(IShellLinkA *link, IPersistFile *file, const char *linkPath)
{
    WCHAR widePath[MAX_PATH];
    char target[MAX_PATH];
    if (GetFileAttributesA(linkPath) == INVALID_FILE_ATTRIBUTES
        || !MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH)
        || FAILED(file->Load(widePath, STGM_READ))
        || FAILED(link->GetPath(target, sizeof target, 0, SLGP_RAWPATH)))
        return;
    if (PathInFolder(target, g_uninstall.installDir))
        DeleteFileA(linkPath);
}

void RemoveMenuLinks()
{
    char programs[MAX_PATH];
    if (!ReadProgramsDir(programs, sizeof programs))
        return;
    /* Without a Programs folder the setup made its folder at the root of the
       drive it installed on. */
    if (!programs[0] && DriveLetterOf(g_uninstall.installDir)) {
        programs[0] = g_uninstall.installDir[0];
        programs[1] = ':';
        programs[2] = '\0';
    }
    ComLibrary com;
    if (!StartComLibrary(&com))
        return;
    IShellLinkA *link;
    if (SUCCEEDED(com.createInstance(kClsidShellLink, 0, CLSCTX_INPROC_SERVER, kIidShellLinkA, (void **)&link))) {
        IPersistFile *file;
        if (SUCCEEDED(link->QueryInterface(kIidPersistFile, (void **)&file))) {
            for (const MenuEntry &entry : kMenuEntries) {
                char linkPath[MAX_PATH];
                if (FormatLinkPath(programs, entry.displayName, linkPath, sizeof linkPath))
                    RemoveLinkNamingFolder(link, file, linkPath);
            }
            file->Release();
        }
        link->Release();
    }
    EndComLibrary(&com);
    /* The product's folder goes only when no link or file of anyone else's is left in it. */
    char folder[MAX_PATH];
    if (JoinPath(programs, "Morvalen", folder, sizeof folder))
        RemoveDirectoryA(folder);
}

typedef BOOL (WINAPI *CheckTokenMembershipFn)(HANDLE, PSID, PBOOL);
typedef BOOL (WINAPI *AllocateAndInitializeSidFn)(PSID_IDENTIFIER_AUTHORITY, BYTE, DWORD, DWORD, DWORD, DWORD,
                                                 DWORD, DWORD, DWORD, DWORD, PSID *);
typedef PVOID (WINAPI *FreeSidFn)(PSID);

/* Whether this process is an administrator's. Before Windows 2000 there is
   no call to ask, and the setup needed those rights to make the entries. */
static bool IsAdministrator()
{
    HMODULE advapi = GetModuleHandleA("advapi32");
    CheckTokenMembershipFn check = (CheckTokenMembershipFn)(void *)GetProcAddress(advapi, "CheckTokenMembership");
    AllocateAndInitializeSidFn allocate =
        (AllocateAndInitializeSidFn)(void *)GetProcAddress(advapi, "AllocateAndInitializeSid");
    FreeSidFn freeSid = (FreeSidFn)(void *)GetProcAddress(advapi, "FreeSid");
    if (!check || !allocate || !freeSid)
        return true;
    SID_IDENTIFIER_AUTHORITY nt = SECURITY_NT_AUTHORITY;
    PSID administrators;
    if (!allocate(&nt, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
        return true;
    BOOL member = TRUE;
    if (!check(0, administrators, &member))
        member = TRUE;
    freeSid(administrators);
    return member != FALSE;
}

/* The record names this folder, so the group's items start this
   installation. Without its flag DeleteGroup means the common group, but the
   setup's CreateGroup made a common group only for an administrator, and
   from Vista on never: the flag names the group it made. The name is never
   left empty: an empty one deletes the whole Programs menu. */
void RemoveProgmanGroup()
{
    bool common = (GetVersion() & 0xFF) < 6 && IsAdministrator();
    if (!StartProgmanClient(&g_uninstall.ddeInstance))
        return;
    ProgmanExecute(g_uninstall.ddeInstance,
                   common ? "[DeleteGroup(\"Morvalen\",1)]" : "[DeleteGroup(\"Morvalen\",0)]");
    EndProgmanClient(g_uninstall.ddeInstance);
}
