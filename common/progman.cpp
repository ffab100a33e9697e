#include "progman.h"
#include "text.h"
#include <ddeml.h>
#include <dde.h>

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return 0;
}

/* One conversation per command, as the Program Manager expects. */
int ProgmanExecute(DWORD ddeInstance, const char *command)
{
    HSZ progman = DdeCreateStringHandleA(ddeInstance, "PROGMAN", CP_WINANSI);
    if (!progman)
        return 0;
    int accepted = 0;
    HCONV conversation = DdeConnect(ddeInstance, progman, progman, 0);
    if (conversation) {
        accepted = DdeClientTransaction((BYTE *)command, (DWORD)TextLength(command) + 1,
                                        conversation, 0, CF_TEXT, XTYP_EXECUTE, 1000, 0) != 0;
        DdeDisconnect(conversation);
    }
    DdeFreeStringHandle(ddeInstance, progman);
    return accepted;
}

typedef BOOL (WINAPI *ChangeWindowMessageFilterFn)(UINT, DWORD);

/* From Vista on the programs run elevated and the Program Manager (the
   shell) does not, and messages from a lower integrity level are dropped
   unless the filter lets them through: without its replies no conversation
   starts. Earlier systems have no such filter and no such call. */
static void FilterServerReplies(DWORD action)
{
    ChangeWindowMessageFilterFn change = (ChangeWindowMessageFilterFn)(void *)GetProcAddress(
        GetModuleHandleA("user32"), "ChangeWindowMessageFilter");
    if (!change)
        return;
    /* What the Program Manager sends back to a client. */
    change(WM_DDE_ACK, action);
    change(WM_DDE_DATA, action);
    change(WM_DDE_TERMINATE, action);
}

bool StartProgmanClient(DWORD *ddeInstance)
{
    *ddeInstance = 0;
    FilterServerReplies(MSGFLT_ADD);
    if (DdeInitializeA(ddeInstance, DdeCallback, APPCMD_CLIENTONLY, 0) == DMLERR_NO_ERROR)
        return true;
    FilterServerReplies(MSGFLT_REMOVE);
    return false;
}

void EndProgmanClient(DWORD ddeInstance)
{
    DdeUninitialize(ddeInstance);
    FilterServerReplies(MSGFLT_REMOVE);
}
