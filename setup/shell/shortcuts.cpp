#include "shell.h"
#include "shell_text.h"
#include "../setup_state.h"
#include "common/text.h"
#include "common/shell_link.h"
#include "common/product.h"

static ComLibrary g_com;

HRESULT CreateShortcut(const char *target, const char *linkPath, const char *description)
{
    if (!g_com.createInstance)
        return E_FAIL;
    IShellLinkA *link;
    HRESULT status = g_com.createInstance(kClsidShellLink, 0, CLSCTX_INPROC_SERVER, kIidShellLinkA,
                                        (void **)&link);
    if (FAILED(status))
        return status;
    link->SetPath(target);
    link->SetDescription(description);
    IPersistFile *file;
    status = link->QueryInterface(kIidPersistFile, (void **)&file);
    if (SUCCEEDED(status)) {
        WCHAR widePath[MAX_PATH];
        if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, MAX_PATH))
            status = file->Save(widePath, TRUE);
        else
            status = E_FAIL;
        file->Release();
    }
    link->Release();
    return status;
}

/* An entry whose texts do not fit is skipped; the others still come. */
HRESULT AddMenuShortcut(const char *installDir, const char *fileName, const char *displayName)
{
    char linkPath[LINK_TEXT_SIZE], description[LINK_TEXT_SIZE], target[LINK_TEXT_SIZE];
    if (!FormatLinkPath(g_setup.programsDir, displayName, linkPath, sizeof linkPath)
        || !FormatLinkDescription(fileName, description, sizeof description)
        || !FormatLinkTarget(installDir, fileName, target, sizeof target))
        return E_FAIL;
    return CreateShortcut(target, linkPath, description);
}

void CreateMenuShortcuts()
{
    if (!StartComLibrary(&g_com))
        return;
    if (ReadProgramsDir(g_setup.programsDir, sizeof g_setup.programsDir)) {
        char folder[PATH_TEXT_SIZE];
        if (JoinPath(g_setup.programsDir, "Morvalen", folder, sizeof folder))
            CreateDirectoryA(folder, 0);
        for (const MenuEntry &entry : kMenuEntries)
            AddMenuShortcut(g_setup.installDir, entry.fileName, entry.displayName);
    }
    EndComLibrary(&g_com);
    g_com.createInstance = 0;
}
