#include "shell.h"
#include "shell_text.h"
#include "../setup_state.h"
#include "common/progman.h"

struct GroupItem {
    const char *fileName;
    const char *title;
};

static const GroupItem kGroupItems[] = {
    { "MORVALEN.EXE", "Morvalen 2.0" },
    { "README.TXT", "Read Me" },
    { "UNINSTAL.EXE", "Uninstall Morvalen" },
    { "ORDER.TXT", "Order Form" },
};

void BuildProgmanGroup()
{
    if (StartProgmanClient(&g_setup.ddeInstance)) {
        ProgmanExecute(g_setup.ddeInstance, "[CreateGroup(\"Morvalen\")]");
        ProgmanExecute(g_setup.ddeInstance, "[ShowGroup(\"Morvalen\",1)]");
        for (const GroupItem &item : kGroupItems) {
            char command[PATH_TEXT_SIZE];
            if (FormatAddItemCommand(g_setup.installDir, item.fileName, item.title, command, sizeof command))
                ProgmanExecute(g_setup.ddeInstance, command);
        }
        EndProgmanClient(g_setup.ddeInstance);
    }
}
