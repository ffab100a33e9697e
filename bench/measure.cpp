// Times the setup against its reference programs, interleaved in one run so
// that a busy machine slows both alike, and prints min/median/max of each and
// the ratio of the medians.
//
//   measure RUNS [DIR [startup|install]]
//
// DIR (default C:\payload) holds setup.exe, empty_dialog.exe, plain_copy.exe
// and the payload; every program runs with DIR as its current directory.
// Both stages are measured unless one is named.
//   startup: CreateProcess until the program's dialog is shown and answers
//            messages (then Cancel). The window's visible flag alone comes too
//            early: it is set when showing begins, and a dialog that did its
//            set-up before showing would pay for work the other does after it.
//            The time to the visible flag is printed as well, for comparison;
//   install: the posted click on OK until the completion box is visible.
// Exit status 0 when every sample was measured, 2 when one could not be.
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "../tests/driver/test_station.h"

namespace {

const DWORD kStepTimeoutMs = 20000;     // a busy machine, not a hung program
const int kOptionIds[] = { 1002, 1003, 1004 };  // add to menu, view readme, start after
const char *const kPayload[] = { "Morvalen.exe", "Readme.txt", "Order.txt", "Uninstal.exe" };
const char kDoneCaption[] = "Installation Succeded";

const char *g_dir = "C:\\payload";
LARGE_INTEGER g_frequency;
PROCESS_INFORMATION g_child;    // the running program, ended on failure
double g_visibleMs;             // the last startup sample's time to the visible flag

double NowMs()
{
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart * 1000.0 / g_frequency.QuadPart;
}

[[noreturn]] void Fail(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("measurement failed: ", stdout);
    vprintf(format, args);
    va_end(args);
    putchar('\n');
    fflush(stdout);
    if (g_child.hProcess)
        TerminateProcess(g_child.hProcess, 255);
    exit(2);
}

// The tests' window station, where no desktop shell runs beside the programs.
char g_desktop[96];

void Start(const char *program)
{
    char commandLine[MAX_PATH * 2];
    snprintf(commandLine, sizeof commandLine, "\"%s\\%s\"", g_dir, program);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.lpDesktop = g_desktop[0] ? g_desktop : 0;
    // Wine on a machine loaded far beyond its cores has been seen to refuse
    // a start once (error 1359) that every other run makes: a start is tried
    // three times, and each retry is said, so that no figure hides it.
    for (int attempt = 1; !CreateProcessA(0, commandLine, 0, 0, FALSE, 0, 0, g_dir, &startup, &g_child); ++attempt) {
        if (attempt == 3)
            Fail("cannot start %s (error %lu)", commandLine, GetLastError());
        printf("start of %s retried after error %lu\n", commandLine, GetLastError());
        fflush(stdout);
        Sleep(100);
    }
}

// Ends with the program's exit status checked: a sample of a run that went wrong is no sample.
void Finish(const char *program)
{
    DWORD code = 255;
    if (WaitForSingleObject(g_child.hProcess, kStepTimeoutMs) != WAIT_OBJECT_0
        || !GetExitCodeProcess(g_child.hProcess, &code))
        Fail("%s did not end", program);
    CloseHandle(g_child.hThread);
    CloseHandle(g_child.hProcess);
    g_child = PROCESS_INFORMATION();
    if (code != 0)
        Fail("%s ended with status %lu", program, code);
}

struct DialogSearch {
    HWND except;
    HWND found;
};

BOOL CALLBACK TakeDialog(HWND window, LPARAM lParam)
{
    DialogSearch *search = (DialogSearch *)lParam;
    char className[8];
    if (window == search->except || !GetClassNameA(window, className, sizeof className)
        || strcmp(className, "#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

// The program's first dialog other than `except`, visible or not yet. Taken
// from a list of its main thread's windows, not by walking the desktop's
// windows from one to the next: Wine 10's server crashes when the window a
// walk goes on from is being destroyed, which is what the measured windows do.
HWND ProgramDialog(HWND except)
{
    DialogSearch search = { except, 0 };
    EnumThreadWindows(g_child.dwThreadId, TakeDialog, (LPARAM)&search);
    return search.found;
}

// Polls about every millisecond, once found only the window's visibility,
// so that the measurer takes little of the machine from the program. The
// wait doubles as the check that the program still runs.
HWND WaitForDialog(const char *program, HWND except)
{
    double deadline = NowMs() + kStepTimeoutMs;
    for (HWND window = 0;;) {
        if (!window || !IsWindow(window))
            window = ProgramDialog(except);
        if (window && IsWindowVisible(window))
            return window;
        if (WaitForSingleObject(g_child.hProcess, 1) == WAIT_OBJECT_0)
            Fail("%s ended before its window appeared", program);
        if (NowMs() > deadline)
            Fail("%s showed no window in %lu ms", program, kStepTimeoutMs);
    }
}

LRESULT SendBounded(HWND window, UINT message, WPARAM wParam, const char *program)
{
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL, kStepTimeoutMs, &result))
        Fail("%s does not answer messages", program);
    return (LRESULT)result;
}

void TargetPath(const char *dir, const char *name, char *path, size_t size)
{
    snprintf(path, size, "%s\\%s", dir, name);
}

// Every installation starts from nothing: no directory, no files, no INI record.
void RemoveInstallation(const char *dir)
{
    char path[MAX_PATH];
    for (const char *name : kPayload) {
        TargetPath(dir, name, path, sizeof path);
        DeleteFileA(path);
    }
    RemoveDirectoryA(dir);
    if (GetFileAttributesA(dir) != INVALID_FILE_ATTRIBUTES)
        Fail("cannot remove %s", dir);
    char ini[MAX_PATH];
    GetWindowsDirectoryA(ini, MAX_PATH - 16);
    strcat(ini, "\\morvalen.ini");
    DeleteFileA(ini);
}

double StartupSample(const char *program)
{
    double started = NowMs();
    Start(program);
    HWND dialog = WaitForDialog(program, 0);
    g_visibleMs = NowMs() - started;
    // Answered only once showing is over and the modal loop runs.
    SendBounded(dialog, WM_NULL, 0, program);
    double shown = NowMs();
    PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    Finish(program);
    return shown - started;
}

double InstallSample(const char *program, const char *targetDir)
{
    RemoveInstallation(targetDir);
    Start(program);
    HWND dialog = WaitForDialog(program, 0);
    SendBounded(dialog, WM_NULL, 0, program);   // its modal loop runs
    for (int id : kOptionIds) {
        HWND option = GetDlgItem(dialog, id);
        if (!option)
            Fail("%s has no control %d", program, id);
        SendBounded(option, BM_SETCHECK, BST_UNCHECKED, program);
        if (SendBounded(option, BM_GETCHECK, 0, program) != BST_UNCHECKED)
            Fail("%s: control %d stays checked", program, id);
    }
    HWND install = GetDlgItem(dialog, IDOK);
    double clicked = NowMs();
    PostMessageA(install, BM_CLICK, 0, 0);
    HWND box = WaitForDialog(program, dialog);
    double boxed = NowMs();
    char caption[128] = "";
    GetWindowTextA(box, caption, sizeof caption);
    if (strcmp(caption, kDoneCaption) != 0)
        Fail("%s showed \"%s\" instead of the completion box", program, caption);
    PostMessageA(box, WM_COMMAND, IDOK, 0);
    Finish(program);
    char path[MAX_PATH];
    for (const char *name : kPayload) {
        TargetPath(targetDir, name, path, sizeof path);
        if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES)
            Fail("%s did not install %s", program, path);
    }
    return boxed - clicked;
}

struct Subject {
    const char *program;
    const char *targetDir;  // install stage only
};

double Measure(const char *stage, const Subject &subject)
{
    return strcmp(stage, "startup") == 0 ? StartupSample(subject.program)
                                         : InstallSample(subject.program, subject.targetDir);
}

int CompareDoubles(const void *a, const void *b)
{
    double x = *(const double *)a, y = *(const double *)b;
    return (x > y) - (x < y);
}

// Sorts the values in place.
double Median(double *values, int count)
{
    qsort(values, count, sizeof *values, CompareDoubles);
    return count % 2 ? values[count / 2] : (values[count / 2 - 1] + values[count / 2]) / 2;
}

double Summarize(const char *stage, const char *program, const double *samples, int runs, double *work)
{
    memcpy(work, samples, runs * sizeof *work);
    double median = Median(work, runs);
    printf("%-8s %-17s min %8.2f  median %8.2f  max %8.2f ms\n", stage, program, work[0], median,
           work[runs - 1]);
    return median;
}

// How far off the ratio of the medians may be on this machine today: its 2.5th
// and 97.5th percentiles over the pairs resampled with replacement. Pairs are
// drawn, not samples, because both samples of a pair ran under the same load.
void RatioInterval(const double *a, const double *b, int runs, double *work, double *low, double *high)
{
    const int kResamples = 2000;
    double *ratios = (double *)malloc(kResamples * sizeof *ratios);
    double *x = work, *y = work + runs;
    unsigned state = 2463534242u;   // fixed: the same samples always give the same interval
    for (int r = 0; r < kResamples; ++r) {
        for (int i = 0; i < runs; ++i) {
            state ^= state << 13, state ^= state >> 17, state ^= state << 5;
            int pick = (int)(state % (unsigned)runs);
            x[i] = a[pick];
            y[i] = b[pick];
        }
        ratios[r] = Median(x, runs) / Median(y, runs);
    }
    qsort(ratios, kResamples, sizeof *ratios, CompareDoubles);
    *low = ratios[kResamples / 40];
    *high = ratios[kResamples - 1 - kResamples / 40];
    free(ratios);
}

void PrintRatio(const char *stage, const char *setup, const char *reference, const double *a,
                const double *b, int runs, double *work, double target)
{
    double ratio = Summarize(stage, setup, a, runs, work) / Summarize(stage, reference, b, runs, work);
    double low, high;
    RatioInterval(a, b, runs, work, &low, &high);
    printf("%-8s ratio of medians %.3f (95%% interval %.3f-%.3f", stage, ratio, low, high);
    if (target > 0)
        printf("; target <= %.2f", target);
    puts(")");
    fflush(stdout);
}

// One warm-up of each, then the pairs, each pair started by the other program
// than the last one, so neither always runs right after the other's clean-up.
void Compare(const char *stage, const Subject &setup, const Subject &reference, int runs, double target)
{
    double *a = (double *)malloc(6 * runs * sizeof *a), *b = a + runs, *work = b + runs;
    double *visibleA = work + 2 * runs, *visibleB = visibleA + runs;
    Measure(stage, setup);
    Measure(stage, reference);
    for (int i = 0; i < runs; ++i) {
        bool setupFirst = i % 2 == 0;
        double first = Measure(stage, setupFirst ? setup : reference);
        double firstVisible = g_visibleMs;
        double second = Measure(stage, setupFirst ? reference : setup);
        a[i] = setupFirst ? first : second;
        b[i] = setupFirst ? second : first;
        visibleA[i] = setupFirst ? firstVisible : g_visibleMs;
        visibleB[i] = setupFirst ? g_visibleMs : firstVisible;
    }
    PrintRatio(stage, setup.program, reference.program, a, b, runs, work, target);
    if (strcmp(stage, "startup") == 0)
        PrintRatio("visible", setup.program, reference.program, visibleA, visibleB, runs, work, 0);
    free(a);
}

}  // namespace

int main(int argc, char **argv)
{
    int runs = argc > 1 ? atoi(argv[1]) : 0;
    const char *only = argc > 3 ? argv[3] : "";
    if (runs < 1 || argc > 4 || (*only && strcmp(only, "startup") && strcmp(only, "install"))) {
        fputs("usage: measure RUNS [DIR [startup|install]]\n", stderr);
        return 3;
    }
    if (argc > 2)
        g_dir = argv[2];
    const wchar_t *desktop = JoinTestStation();
    if (!desktop) {
        fprintf(stderr, "measure: cannot join the window station (error %lu)\n", GetLastError());
        return 2;
    }
    WideCharToMultiByte(CP_ACP, 0, desktop, -1, g_desktop, sizeof g_desktop, 0, 0);
    QueryPerformanceFrequency(&g_frequency);
    printf("runs %d per program and stage, interleaved, after one warm-up each\n", runs);
    if (strcmp(only, "install") != 0)
        Compare("startup", { "setup.exe", 0 }, { "empty_dialog.exe", 0 }, runs, 1.1);
    if (strcmp(only, "startup") != 0) {
        Compare("install", { "setup.exe", "C:\\MORVALEN" }, { "plain_copy.exe", "C:\\PLAINCPY" }, runs, 1.2);
        RemoveInstallation("C:\\MORVALEN");
        RemoveInstallation("C:\\PLAINCPY");
    }
    return 0;
}
