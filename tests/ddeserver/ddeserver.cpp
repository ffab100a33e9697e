// Test stand-in for the Program Manager's DDE service, and a probe for the
// real one. Both write one line per event to a log file, flushed at once, so
// the Wine tests can follow a run from Linux:
//
//   ddeserver serve LOG [SECONDS]   register the service "PROGMAN", accept every
//                                   conversation on topic "PROGMAN" and every
//                                   execute; runs until killed or SECONDS (60)
//   ddeserver probe LOG [SECONDS]   connect to a PROGMAN server as a client until
//                                   one answers, then stay alive (keeping the
//                                   desktop that holds Wine's server) until
//                                   killed or SECONDS (60)
//
// Log lines (tab-separated, text escaped as \\ \t \r \n \xNN):
//   ready                           the service is registered / a server answered
//   connect SERVICE TOPIC           a client asks for a conversation (XTYP_CONNECT)
//   confirm CONV                    it was made; CONV numbers conversations from 1
//   execute CONV BYTES              an execute with its data, NUL bytes included
//   disconnect CONV
//   timeout                         SECONDS have passed
#include <windows.h>
#include <ddeml.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../driver/test_station.h"

namespace {

DWORD g_instance = 0;
HANDLE g_log = INVALID_HANDLE_VALUE;
HSZ g_progman = 0;

struct Conversation {
    HCONV handle;
    int number;
};
Conversation g_conversations[64];
int g_conversationCount = 0;

void Log(const char *line)
{
    DWORD written;
    WriteFile(g_log, line, (DWORD)strlen(line), &written, 0);
    WriteFile(g_log, "\n", 1, &written, 0);
    FlushFileBuffers(g_log);
}

// Appends bytes escaped so that a line stays one line and every byte shows.
void AppendEscaped(char *out, size_t size, const BYTE *data, size_t length)
{
    size_t used = strlen(out);
    for (size_t i = 0; i < length && used + 5 < size; ++i) {
        BYTE c = data[i];
        if (c == '\\' || c == '\t' || c == '\r' || c == '\n' || c < 0x20 || c >= 0x7f) {
            const char *named = c == '\\' ? "\\\\" : c == '\t' ? "\\t" : c == '\r' ? "\\r" : c == '\n' ? "\\n" : 0;
            if (named)
                used += sprintf(out + used, "%s", named);
            else
                used += sprintf(out + used, "\\x%02x", c);
        } else {
            out[used++] = (char)c;
            out[used] = '\0';
        }
    }
}

void AppendName(char *out, size_t size, HSZ name)
{
    char text[256] = "";
    DdeQueryStringA(g_instance, name, text, sizeof text, CP_WINANSI);
    AppendEscaped(out, size, (const BYTE *)text, strlen(text));
}

// Conversation handles may be reused, so each one gets a number of its own.
int NumberOf(HCONV conversation)
{
    for (int i = g_conversationCount - 1; i >= 0; --i)
        if (g_conversations[i].handle == conversation)
            return g_conversations[i].number;
    return 0;
}

void LogConversation(const char *what, int number)
{
    char line[64];
    sprintf(line, "%s\t%d", what, number);
    Log(line);
}

HDDEDATA CALLBACK ServerCallback(UINT type, UINT, HCONV conversation, HSZ topic, HSZ service,
                                 HDDEDATA data, ULONG_PTR, ULONG_PTR)
{
    switch (type) {
    case XTYP_CONNECT: {
        char line[600] = "connect\t";
        AppendName(line, sizeof line, service);
        strcat(line, "\t");
        AppendName(line, sizeof line, topic);
        Log(line);
        return (HDDEDATA)(INT_PTR)(DdeCmpStringHandles(topic, g_progman) == 0);
    }
    case XTYP_CONNECT_CONFIRM:
        if (g_conversationCount < 64) {
            g_conversations[g_conversationCount].handle = conversation;
            g_conversations[g_conversationCount].number = g_conversationCount + 1;
            ++g_conversationCount;
        }
        LogConversation("confirm", NumberOf(conversation));
        return 0;
    case XTYP_EXECUTE: {
        BYTE bytes[2048];
        DWORD length = DdeGetData(data, bytes, sizeof bytes, 0);
        char line[8400];
        sprintf(line, "execute\t%d\t", NumberOf(conversation));
        AppendEscaped(line, sizeof line, bytes, length);
        Log(line);
        return (HDDEDATA)DDE_FACK;
    }
    case XTYP_DISCONNECT:
        LogConversation("disconnect", NumberOf(conversation));
        return 0;
    }
    return 0;
}

HDDEDATA CALLBACK ClientCallback(UINT, UINT, HCONV, HSZ, HSZ, HDDEDATA, ULONG_PTR, ULONG_PTR)
{
    return 0;
}

// DDE runs on window messages: pump them until the time is up.
void PumpUntil(DWORD deadline)
{
    MSG message;
    while ((LONG)(deadline - GetTickCount()) > 0) {
        MsgWaitForMultipleObjects(0, 0, FALSE, 50, QS_ALLINPUT);
        while (PeekMessageA(&message, 0, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
    }
}

bool Serve(DWORD deadline)
{
    if (DdeInitializeA(&g_instance, ServerCallback, APPCLASS_STANDARD | CBF_SKIP_REGISTRATIONS
                       | CBF_SKIP_UNREGISTRATIONS, 0) != DMLERR_NO_ERROR)
        return false;
    g_progman = DdeCreateStringHandleA(g_instance, "PROGMAN", CP_WINANSI);
    if (!g_progman || !DdeNameService(g_instance, g_progman, 0, DNS_REGISTER))
        return false;
    Log("ready");
    PumpUntil(deadline);
    return true;
}

bool Probe(DWORD deadline)
{
    if (DdeInitializeA(&g_instance, ClientCallback, APPCMD_CLIENTONLY, 0) != DMLERR_NO_ERROR)
        return false;
    g_progman = DdeCreateStringHandleA(g_instance, "PROGMAN", CP_WINANSI);
    // A visible window of our own: the desktop stays up while it exists.
    HWND keeper = CreateWindowA("STATIC", "progman probe", WS_OVERLAPPED | WS_VISIBLE, 0, 0, 100, 40,
                                0, 0, GetModuleHandleA(0), 0);
    if (!keeper)
        return false;
    for (;;) {
        HCONV conversation = DdeConnect(g_instance, g_progman, g_progman, 0);
        if (conversation) {
            DdeDisconnect(conversation);
            break;
        }
        if ((LONG)(deadline - GetTickCount()) <= 0)
            return true;
        PumpUntil(GetTickCount() + 200);
    }
    Log("ready");
    PumpUntil(deadline);
    return true;
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc < 3 || (strcmp(argv[1], "serve") != 0 && strcmp(argv[1], "probe") != 0)) {
        fprintf(stderr, "usage: ddeserver serve|probe LOG [SECONDS]\n");
        return 3;
    }
    g_log = CreateFileA(argv[2], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, 0, CREATE_ALWAYS,
                        FILE_ATTRIBUTE_NORMAL, 0);
    if (g_log == INVALID_HANDLE_VALUE)
        return 2;
    DWORD seconds = argc > 3 ? (DWORD)atoi(argv[3]) : 60;
    DWORD deadline = GetTickCount() + seconds * 1000;
    bool done = JoinTestStation() != 0 && (strcmp(argv[1], "serve") == 0 ? Serve(deadline) : Probe(deadline));
    if (!done) {
        Log("error");
        return 2;
    }
    Log("timeout");
    if (g_progman)
        DdeFreeStringHandle(g_instance, g_progman);
    DdeUninitialize(g_instance);
    return 0;
}
