// Test driver: starts a GUI program and works its dialogs the way a user
// would, following a script given on the command line, and prints what it
// sees as tab-separated lines for the Wine tests to parse.
//
//   driver [--timeout MS] [--cwd DIR] [--args TEXT] [--family] PROGRAM STEP...
//
// --args gives the program a command line after its quoted path; with
// --family the dialogs of the programs it starts count as its own (for a
// program that only starts the one whose dialogs are worked, and waits).
//
// Steps ("ID" is a decimal control id in the current dialog):
//   dialog:CAPTION     wait for the program's dialog with this caption; it becomes current
//   another:CAPTION    the same, for a further dialog of that caption that no step waited for
//   caption            print "caption\tTEXT" of the current dialog
//   get:ID             print "text\tID\tTEXT"
//   state:ID           print "check\tID\t0|1" (button check state)
//   focused            print "focus\tID" (control holding the keyboard focus, 0 if none)
//   selection:ID       print "selection\tID\tSTART\tEND" (edit selection)
//   items:ID           print "items\tID\tENTRY\t..." (list or combo box entries)
//   cursel:ID          print "cursel\tID\tINDEX\tENTRY" (INDEX -1 when nothing is selected)
//   type:ID:TEXT       give the control the focus, then set its text
//   settext:ID:TEXT    set the text without moving the focus
//   focus:ID           move the focus to the control (so the old one loses it)
//   tab                move the focus to the next control, as the Tab key does
//   click:ID           post a click (the control takes the focus first, as for a mouse click)
//                      and go on at once: a later step waits for what it causes
//   check:ID, uncheck:ID   click the box if needed and wait for the new state
//   select:ID:ENTRY    select an entry of a list or combo box and notify the dialog
//   dblclk:ID:ENTRY    select a list box entry and notify a double click
//   key:ID:VK          post a key press (decimal virtual-key code) to the control, as typed
//   close              the close box of the current dialog
//   gone               wait until the current dialog is destroyed
//   box                wait for a message box, print "box\tCAPTION\tTEXT\tTIME" and press
//                      OK (TIME: system time as a FILETIME number, just before OK)
//   box:ID             the same, pressing the button ID (e.g. 6 Yes, 7 No)
//   exit               wait for the program to end, print "exit\tCODE", then wait for
//                      the programs it started that are still running ("child\tNAME\tCODE")
//
// Text in the output escapes backslash, tab, CR, LF and other control
// characters (\\ \t \r \n \xNN). Any step that cannot be done prints
// "error\t..." and the program's windows, ends the program and its children,
// and the driver exits with 2; usage errors exit with 3.
#include <windows.h>
#include <tlhelp32.h>
#include <shellapi.h>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "test_station.h"

namespace {

DWORD g_timeout = 10000;
PROCESS_INFORMATION g_process = {};
HWND g_dialog = 0;
HWND g_known[32];  // every dialog a step waited for: anything else is a box
int g_knownCount = 0;
bool g_family = false;
DWORD g_familyIds[64];  // the program and what it started, as last listed
int g_familyCount = 0;

// ---- output -------------------------------------------------------------

void PutEscaped(const wchar_t *text)
{
    char utf8[8192];
    int length = WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8, sizeof utf8, 0, 0);
    if (length <= 0)
        utf8[0] = '\0';
    for (const unsigned char *c = (const unsigned char *)utf8; *c; ++c) {
        switch (*c) {
        case '\\': fputs("\\\\", stdout); break;
        case '\t': fputs("\\t", stdout); break;
        case '\r': fputs("\\r", stdout); break;
        case '\n': fputs("\\n", stdout); break;
        default:
            if (*c < 0x20)
                printf("\\x%02x", *c);
            else
                putchar(*c);
        }
    }
}

// Prints a line: the fields are plain ASCII format text, %S arguments are escaped wide text.
void Emit(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    for (const char *f = format; *f; ++f) {
        if (*f != '%') {
            putchar(*f);
            continue;
        }
        switch (*++f) {
        case 'S': PutEscaped(va_arg(args, const wchar_t *)); break;
        case 'd': printf("%d", va_arg(args, int)); break;
        case 'u': printf("%lu", (unsigned long)va_arg(args, unsigned)); break;
        case 's': fputs(va_arg(args, const char *), stdout); break;
        default: putchar(*f); break;
        }
    }
    va_end(args);
    putchar('\n');
    fflush(stdout);
}

// ---- windows of the program ------------------------------------------------

bool IsOfProgram(DWORD pid)
{
    if (pid == g_process.dwProcessId)
        return true;
    for (int i = 0; i < g_familyCount; ++i)
        if (g_familyIds[i] == pid)
            return true;
    return false;
}

// The program's descendants, found by their parents (a parent's id is only
// trusted while that parent is in the list, as ids are reused).
void ListFamily()
{
    g_familyCount = 0;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    for (bool grown = true; grown && g_familyCount < 64;) {
        grown = false;
        PROCESSENTRY32W entry = {};
        entry.dwSize = sizeof entry;
        for (BOOL more = Process32FirstW(snapshot, &entry); more && g_familyCount < 64;
             more = Process32NextW(snapshot, &entry)) {
            if (IsOfProgram(entry.th32ParentProcessID) && !IsOfProgram(entry.th32ProcessID)
                && entry.th32ProcessID != GetCurrentProcessId()) {
                g_familyIds[g_familyCount++] = entry.th32ProcessID;
                grown = true;
            }
        }
    }
    CloseHandle(snapshot);
}

bool IsProgramDialog(HWND window)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    if (!IsOfProgram(pid) || !IsWindowVisible(window))
        return false;
    wchar_t className[64];
    return GetClassNameW(window, className, 64) && wcscmp(className, L"#32770") == 0;
}

struct WindowList {
    HWND windows[64];
    int count;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param)
{
    WindowList *list = (WindowList *)param;
    if (list->count < 64 && IsProgramDialog(window))
        list->windows[list->count++] = window;
    return TRUE;
}

WindowList ProgramDialogs()
{
    WindowList list = {};
    if (g_family)
        ListFamily();
    EnumWindows(CollectDialog, (LPARAM)&list);
    return list;
}

bool IsKnown(HWND window)
{
    for (int i = 0; i < g_knownCount; ++i)
        if (g_known[i] == window)
            return true;
    return false;
}

void ReadText(HWND window, wchar_t *text, int size)
{
    text[0] = L'\0';
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, size, (LPARAM)text, SMTO_NORMAL, g_timeout, &copied))
        text[0] = L'\0';
    text[size - 1] = L'\0';
}

// A message box's text is its static with id 0xFFFF.
void BoxText(HWND box, wchar_t *text, int size)
{
    HWND label = GetDlgItem(box, 0xFFFF);
    if (label)
        ReadText(label, text, size);
    else
        text[0] = L'\0';
}

// The first of the program's dialogs that no step waited for: a message box
// (or a dialog nobody expected).
HWND FindUnknownDialog(HWND except = 0)
{
    // Forget destroyed dialogs, so that a reused handle is not taken for one.
    int kept = 0;
    for (int i = 0; i < g_knownCount; ++i)
        if (IsWindow(g_known[i]))
            g_known[kept++] = g_known[i];
    g_knownCount = kept;
    WindowList list = ProgramDialogs();
    for (int i = 0; i < list.count; ++i)
        if (list.windows[i] != except && !IsKnown(list.windows[i]))
            return list.windows[i];
    return 0;
}

// ---- failure ------------------------------------------------------------

void KillChildren(DWORD parent);

[[noreturn]] void Fail(const char *format, ...)
{
    char message[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(message, sizeof message, format, args);
    va_end(args);
    printf("error\t%s\n", message);
    if (g_process.hProcess) {
        WindowList list = ProgramDialogs();
        for (int i = 0; i < list.count; ++i) {
            wchar_t caption[512], text[2048];
            ReadText(list.windows[i], caption, 512);
            BoxText(list.windows[i], text, 2048);
            Emit("window\t%S\t%S", caption, text);
        }
        KillChildren(g_process.dwProcessId);
        TerminateProcess(g_process.hProcess, 255);
    }
    fflush(stdout);
    ExitProcess(2);
}

bool ProgramEnded()
{
    return WaitForSingleObject(g_process.hProcess, 0) == WAIT_OBJECT_0;
}

void FailIfEnded(const char *waitingFor)
{
    if (ProgramEnded()) {
        DWORD code = 0;
        GetExitCodeProcess(g_process.hProcess, &code);
        Emit("exit\t%u", (unsigned)code);
        Fail("the program ended while waiting for %s", waitingFor);
    }
}

bool HasCaption(HWND window, const wchar_t *caption)
{
    wchar_t text[512];
    return GetWindowTextW(window, text, 512) && wcscmp(text, caption) == 0;
}

// Fails when a dialog that no step waited for is on the screen, unless it
// turns out to be the one awaited (`awaited`, a caption) once it is complete.
void FailOnUnknownDialog(const char *waitingFor, HWND except = 0, const wchar_t *awaited = 0)
{
    HWND box = FindUnknownDialog(except);
    if (!box)
        return;
    // A window that has just appeared may still be getting its caption and texts.
    Sleep(200);
    if (!IsWindow(box) || !IsWindowVisible(box) || (awaited && HasCaption(box, awaited)))
        return;
    wchar_t caption[512], text[2048];
    ReadText(box, caption, 512);
    BoxText(box, text, 2048);
    Emit("unexpected\t%S\t%S", caption, text);
    Fail("an unexpected window appeared while waiting for %s", waitingFor);
}

// ---- talking to the dialog ------------------------------------------------

HWND Control(const char *idText)
{
    if (!g_dialog || !IsWindow(g_dialog))
        Fail("no current dialog for control %s", idText);
    char *end = 0;
    long id = strtol(idText, &end, 10);
    if (!*idText || *end)
        Fail("bad control id '%s'", idText);
    HWND control = GetDlgItem(g_dialog, (int)id);
    if (!control)
        Fail("the dialog has no control %ld", id);
    return control;
}

LRESULT Query(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutW(window, message, wParam, lParam, SMTO_NORMAL, g_timeout, &result))
        Fail("no answer to message 0x%x", message);
    return (LRESULT)result;
}

struct SentMessage {
    HWND window;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    wchar_t text[4096];  // owned here, as the sending thread may outlive the step
};

DWORD WINAPI SendOnThread(void *param)
{
    SentMessage *sent = (SentMessage *)param;
    SendMessageW(sent->window, sent->message, sent->wParam, sent->lParam);
    return 0;
}

// Sends a message whose handler runs the program's code. It is sent from a
// second thread so that a handler that opens a modal dialog or box does not
// hold the driver: the step is over when the handler returns or when a new
// window of the program shows up.
void SendAction(HWND window, UINT message, WPARAM wParam, LPARAM lParam, const wchar_t *text = 0)
{
    SentMessage *sent = (SentMessage *)calloc(1, sizeof *sent);
    sent->window = window;
    sent->message = message;
    sent->wParam = wParam;
    sent->lParam = lParam;
    if (text) {
        if (wcslen(text) >= 4096)
            Fail("text of %u characters is too long", (unsigned)wcslen(text));
        wcscpy(sent->text, text);
        sent->lParam = (LPARAM)sent->text;
    }
    WindowList before = ProgramDialogs();
    HANDLE thread = CreateThread(0, 0, SendOnThread, sent, 0, 0);
    if (!thread)
        Fail("cannot create the sending thread");
    DWORD start = GetTickCount();
    for (;;) {
        if (WaitForSingleObject(thread, 10) == WAIT_OBJECT_0) {
            CloseHandle(thread);
            free(sent);
            return;
        }
        WindowList now = ProgramDialogs();
        for (int i = 0; i < now.count; ++i) {
            bool old = false;
            for (int j = 0; j < before.count; ++j)
                old = old || before.windows[j] == now.windows[i];
            if (!old) {
                CloseHandle(thread);
                return;
            }
        }
        if (ProgramEnded())
            return;
        if (GetTickCount() - start > g_timeout)
            Fail("the program did not finish handling message 0x%x", message);
    }
}

void SendCommand(HWND control, int notification)
{
    SendAction(g_dialog, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), notification), (LPARAM)control);
}

bool IsListBox(HWND control)
{
    wchar_t className[64] = L"";
    GetClassNameW(control, className, 64);
    return _wcsicmp(className, L"ListBox") == 0;
}

bool IsComboBox(HWND control)
{
    wchar_t className[64] = L"";
    GetClassNameW(control, className, 64);
    return _wcsicmp(className, L"ComboBox") == 0;
}

// The A forms of these messages lose all but the first character across
// processes under Wine, so entries are always read with the W forms.
void ReadEntry(HWND control, int index, wchar_t *text, int size)
{
    bool list = IsListBox(control);
    LRESULT length = Query(control, list ? LB_GETTEXTLEN : CB_GETLBTEXTLEN, index, 0);
    if (length < 0 || length >= size)
        Fail("entry %d of the list cannot be read", index);
    Query(control, list ? LB_GETTEXT : CB_GETLBTEXT, index, (LPARAM)text);
    text[length] = L'\0';
}

int FindEntry(HWND control, const wchar_t *entry)
{
    if (!IsListBox(control) && !IsComboBox(control))
        Fail("control %d is neither a list nor a combo box", GetDlgCtrlID(control));
    LRESULT found = Query(control, IsListBox(control) ? LB_FINDSTRINGEXACT : CB_FINDSTRINGEXACT,
                          (WPARAM)-1, (LPARAM)entry);
    if (found < 0) {
        char utf8[1024];
        WideCharToMultiByte(CP_UTF8, 0, entry, -1, utf8, sizeof utf8, 0, 0);
        Fail("control %d has no entry '%s'", GetDlgCtrlID(control), utf8);
    }
    return (int)found;
}

void Select(HWND control, const wchar_t *entry)
{
    int index = FindEntry(control, entry);
    bool list = IsListBox(control);
    if (Query(control, list ? LB_SETCURSEL : CB_SETCURSEL, index, 0) == (list ? LB_ERR : CB_ERR))
        Fail("cannot select entry %d", index);
}

// ---- waits ----------------------------------------------------------------

// Runs until done() says so; fails after the step timeout.
template <typename Done>
void WaitFor(const char *what, Done done)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > g_timeout)
            Fail("timed out after %lu ms waiting for %s", (unsigned long)g_timeout, what);
        Sleep(10);
    }
}

void WaitForDialog(const wchar_t *caption, bool another = false)
{
    HWND found = 0;
    WaitFor("the dialog", [&] {
        // One look at the windows decides: a dialog that shows up between two
        // looks must not count as unexpected.
        WindowList list = ProgramDialogs();
        for (int i = 0; i < list.count && !found; ++i)
            if (HasCaption(list.windows[i], caption) && !(another && IsKnown(list.windows[i])))
                found = list.windows[i];
        if (found)
            return true;
        FailOnUnknownDialog("the dialog", 0, caption);
        FailIfEnded("the dialog");
        return false;
    });
    // Returns once the dialog's message loop runs.
    Query(found, WM_NULL, 0, 0);
    if (!IsKnown(found) && g_knownCount < 32)
        g_known[g_knownCount++] = found;
    g_dialog = found;
}

// Presses OK or the button whose id is given.
void WaitForBox(const wchar_t *answer)
{
    HWND box = 0;
    WaitFor("a message box", [&] {
        box = FindUnknownDialog();
        if (box)
            return true;
        FailIfEnded("a message box");
        return false;
    });
    Query(box, WM_NULL, 0, 0);
    wchar_t caption[512], text[2048];
    ReadText(box, caption, 512);
    BoxText(box, text, 2048);
    // The moment OK is pressed, to compare with the creation times of programs started after it.
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    char pressed[32];
    snprintf(pressed, sizeof pressed, "%llu", ((unsigned long long)now.dwHighDateTime << 32) | now.dwLowDateTime);
    Emit("box\t%S\t%S\t%s", caption, text, pressed);
    PostMessageW(box, WM_COMMAND, answer[0] ? (WPARAM)_wtoi(answer) : IDOK, 0);
    WaitFor("the message box to close", [&] { return !IsWindow(box) || ProgramEnded(); });
}

void KillChildren(DWORD parent)
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID != parent || entry.th32ProcessID == GetCurrentProcessId())
            continue;
        HANDLE child = OpenProcess(PROCESS_TERMINATE, FALSE, entry.th32ProcessID);
        if (child) {
            TerminateProcess(child, 255);
            CloseHandle(child);
        }
    }
    CloseHandle(snapshot);
}

// The programs started by the finished program (only those still running can
// be found), so that the tests read their traces only after they are done.
void WaitForChildren()
{
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        Fail("cannot list processes");
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
        if (entry.th32ParentProcessID != g_process.dwProcessId)
            continue;
        HANDLE child = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
                                   FALSE, entry.th32ProcessID);
        if (!child)
            continue;
        if (WaitForSingleObject(child, g_timeout) != WAIT_OBJECT_0) {
            TerminateProcess(child, 255);
            CloseHandle(child);
            CloseHandle(snapshot);
            char name[MAX_PATH];
            WideCharToMultiByte(CP_UTF8, 0, entry.szExeFile, -1, name, sizeof name, 0, 0);
            Fail("started program %s did not end", name);
        }
        DWORD code = 0;
        GetExitCodeProcess(child, &code);
        Emit("child\t%S\t%u", entry.szExeFile, (unsigned)code);
        CloseHandle(child);
    }
    CloseHandle(snapshot);
}

void WaitForExit()
{
    WaitFor("the program to end", [&] {
        if (ProgramEnded())
            return true;
        FailOnUnknownDialog("the program to end", g_dialog);
        return false;
    });
    DWORD code = 0;
    GetExitCodeProcess(g_process.hProcess, &code);
    Emit("exit\t%u", (unsigned)code);
    WaitForChildren();
}

// ---- steps ----------------------------------------------------------------

void ClickUntil(HWND box, bool checked)
{
    if ((Query(box, BM_GETCHECK, 0, 0) == BST_CHECKED) == checked)
        return;
    PostMessageW(box, BM_CLICK, 0, 0);
    WaitFor("the check box to change", [&] {
        FailOnUnknownDialog("the check box to change");
        return (Query(box, BM_GETCHECK, 0, 0) == BST_CHECKED) == checked;
    });
}

// Splits "verb:id:text": the text may hold further colons.
void RunStep(const wchar_t *step)
{
    wchar_t verb[32] = L"", id[32] = L"";
    const wchar_t *rest = wcschr(step, L':');
    size_t verbLength = rest ? (size_t)(rest - step) : wcslen(step);
    if (verbLength >= 32)
        Fail("unknown step");
    wcsncpy(verb, step, verbLength);
    const wchar_t *arg = rest ? rest + 1 : L"";
    const wchar_t *text = wcschr(arg, L':');
    size_t idLength = text ? (size_t)(text - arg) : wcslen(arg);
    if (idLength < 32)
        wcsncpy(id, arg, idLength);
    text = text ? text + 1 : L"";
    char idA[32];
    WideCharToMultiByte(CP_UTF8, 0, id, -1, idA, sizeof idA, 0, 0);
    int idNumber = atoi(idA);

    wchar_t buffer[2048];
    if (!wcscmp(verb, L"dialog") || !wcscmp(verb, L"another")) {
        WaitForDialog(arg, verb[0] == L'a');
    } else if (!wcscmp(verb, L"caption")) {
        ReadText(g_dialog, buffer, 2048);
        Emit("caption\t%S", buffer);
    } else if (!wcscmp(verb, L"get")) {
        ReadText(Control(idA), buffer, 2048);
        Emit("text\t%d\t%S", idNumber, buffer);
    } else if (!wcscmp(verb, L"state")) {
        Emit("check\t%d\t%d", idNumber, Query(Control(idA), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
    } else if (!wcscmp(verb, L"focused")) {
        GUITHREADINFO info = {};
        info.cbSize = sizeof info;
        if (!GetGUIThreadInfo(g_process.dwThreadId, &info))
            Fail("cannot read the program's focus");
        Emit("focus\t%d", info.hwndFocus ? GetDlgCtrlID(info.hwndFocus) : 0);
    } else if (!wcscmp(verb, L"selection")) {
        DWORD start = 0, end = 0;
        HWND edit = Control(idA);
        // The positions are written into the driver's own memory, so ask for the packed result.
        LRESULT packed = Query(edit, EM_GETSEL, 0, 0);
        start = LOWORD(packed);
        end = HIWORD(packed);
        Emit("selection\t%d\t%d\t%d", idNumber, (int)start, (int)end);
    } else if (!wcscmp(verb, L"items")) {
        HWND control = Control(idA);
        if (!IsListBox(control) && !IsComboBox(control))
            Fail("control %d is neither a list nor a combo box", idNumber);
        LRESULT count = Query(control, IsListBox(control) ? LB_GETCOUNT : CB_GETCOUNT, 0, 0);
        printf("items\t%d", idNumber);
        for (int i = 0; i < count; ++i) {
            ReadEntry(control, i, buffer, 2048);
            putchar('\t');
            PutEscaped(buffer);
        }
        putchar('\n');
        fflush(stdout);
    } else if (!wcscmp(verb, L"cursel")) {
        HWND control = Control(idA);
        if (!IsListBox(control) && !IsComboBox(control))
            Fail("control %d is neither a list nor a combo box", idNumber);
        int index = (int)Query(control, IsListBox(control) ? LB_GETCURSEL : CB_GETCURSEL, 0, 0);
        buffer[0] = L'\0';
        if (index >= 0)
            ReadEntry(control, index, buffer, 2048);
        Emit("cursel\t%d\t%d\t%S", idNumber, index, buffer);
    } else if (!wcscmp(verb, L"type")) {
        HWND control = Control(idA);
        SendAction(g_dialog, WM_NEXTDLGCTL, (WPARAM)control, TRUE);
        SendAction(control, WM_SETTEXT, 0, 0, text);
    } else if (!wcscmp(verb, L"settext")) {
        SendAction(Control(idA), WM_SETTEXT, 0, 0, text);
    } else if (!wcscmp(verb, L"focus")) {
        SendAction(g_dialog, WM_NEXTDLGCTL, (WPARAM)Control(idA), TRUE);
    } else if (!wcscmp(verb, L"tab")) {
        if (!g_dialog)
            Fail("no current dialog");
        SendAction(g_dialog, WM_NEXTDLGCTL, 0, FALSE);
    } else if (!wcscmp(verb, L"click")) {
        PostMessageW(Control(idA), BM_CLICK, 0, 0);
    } else if (!wcscmp(verb, L"check") || !wcscmp(verb, L"uncheck")) {
        ClickUntil(Control(idA), !wcscmp(verb, L"check"));
    } else if (!wcscmp(verb, L"select")) {
        HWND control = Control(idA);
        Select(control, text);
        SendCommand(control, IsListBox(control) ? LBN_SELCHANGE : CBN_SELCHANGE);
    } else if (!wcscmp(verb, L"dblclk")) {
        HWND control = Control(idA);
        if (!IsListBox(control))
            Fail("control %d is not a list box", idNumber);
        Select(control, text);
        SendCommand(control, LBN_SELCHANGE);
        SendCommand(control, LBN_DBLCLK);
    } else if (!wcscmp(verb, L"key")) {
        HWND control = Control(idA);
        WPARAM key = (WPARAM)wcstoul(text, 0, 10);
        if (!key)
            Fail("no key code in step");
        // Posted like real input, so the dialog's own loop sees it (Escape, Return, Tab).
        PostMessageW(control, WM_KEYDOWN, key, 1);
        PostMessageW(control, WM_KEYUP, key, 0xC0000001);
    } else if (!wcscmp(verb, L"close")) {
        if (!g_dialog)
            Fail("no current dialog to close");
        PostMessageW(g_dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
    } else if (!wcscmp(verb, L"gone")) {
        HWND dialog = g_dialog;
        WaitFor("the dialog to close", [&] { return !IsWindow(dialog) || ProgramEnded(); });
        g_dialog = 0;
    } else if (!wcscmp(verb, L"box")) {
        WaitForBox(arg);
    } else if (!wcscmp(verb, L"exit")) {
        WaitForExit();
    } else {
        char stepA[256];
        WideCharToMultiByte(CP_UTF8, 0, step, -1, stepA, sizeof stepA, 0, 0);
        Fail("unknown step '%s'", stepA);
    }
}

[[noreturn]] void Usage()
{
    fputs("usage: driver [--timeout MS] [--cwd DIR] [--args TEXT] [--family] PROGRAM STEP...\n", stderr);
    ExitProcess(3);
}

}  // namespace

int main()
{
    _setmode(_fileno(stdout), _O_BINARY);
    const wchar_t *station = JoinTestStation();
    if (!station) {
        printf("error\tcannot join the window station (error %lu)\n", GetLastError());
        return 2;
    }
    wchar_t *desktop = station[0] ? (wchar_t *)station : 0;
    // Starts the session's desktop process now, from the driver, so that it
    // is not a child of the program (and is not waited for as one).
    GetDesktopWindow();
    int argc = 0;
    wchar_t **argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv)
        Usage();

    const wchar_t *cwd = 0, *arguments = 0;
    int arg = 1;
    for (; arg + 1 < argc && argv[arg][0] == L'-' && argv[arg][1] == L'-'; ++arg) {
        if (!wcscmp(argv[arg], L"--family")) {
            g_family = true;
            continue;
        }
        if (!wcscmp(argv[arg], L"--timeout"))
            g_timeout = (DWORD)_wtoi(argv[arg + 1]);
        else if (!wcscmp(argv[arg], L"--cwd"))
            cwd = argv[arg + 1];
        else if (!wcscmp(argv[arg], L"--args"))
            arguments = argv[arg + 1];
        else
            Usage();
        ++arg;
    }
    if (arg >= argc || g_timeout == 0)
        Usage();

    wchar_t commandLine[1024];
    int length = arguments ? _snwprintf(commandLine, 1024, L"\"%ls\" %ls", argv[arg], arguments)
                           : _snwprintf(commandLine, 1024, L"\"%ls\"", argv[arg]);
    if (length < 0 || length >= 1024) {
        fputs("command line too long\n", stderr);
        return 3;
    }
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = desktop;
    if (!CreateProcessW(argv[arg], commandLine, 0, 0, FALSE, 0, 0, cwd, &startup, &g_process)) {
        printf("error\tcannot start the program (error %lu)\n", GetLastError());
        return 2;
    }
    Emit("started\t%u", (unsigned)g_process.dwProcessId);

    for (++arg; arg < argc; ++arg)
        RunStep(argv[arg]);

    if (!ProgramEnded())
        Fail("the script ended while the program still runs");
    return 0;
}
