/* A DDE client of the Program Manager: the setup builds its group through
   it and the uninstaller deletes the group again. */
#ifndef MORVALEN_PROGMAN_H
#define MORVALEN_PROGMAN_H

#include <windows.h>

HDDEDATA CALLBACK DdeCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR);

/* Registers as a client, with the server's replies let through; false,
   and nothing left to end, when DDE cannot start. */
bool StartProgmanClient(DWORD *ddeInstance);
void EndProgmanClient(DWORD ddeInstance);

/* Sends one command in a conversation of its own; 1 when it was accepted. */
int ProgmanExecute(DWORD ddeInstance, const char *command);

#endif
