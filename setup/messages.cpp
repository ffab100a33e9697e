#include "messages.h"
#include "common/text.h"
#include "common/product.h"

/* Both messages begin alike: the text is kept once. */
static const char kUnable[] = "Unable to install:  Can't ";
static const char kMakePath[] = "make path \"";
static const char kCutEnd[] = "...\"";

void FormatMakePathMessage(const char *dir, char *out, size_t size)
{
    if (!CopyText(out, size, kUnable) || !AppendText(out, size, kMakePath))
        return;
    if (AppendText(out, size, dir) && AppendChar(out, size, '"'))
        return;
    /* Too long: keep as much of the directory as leaves room for the end. */
    size_t keep = sizeof kUnable - 1 + sizeof kMakePath - 1;
    size_t tail = sizeof kCutEnd - 1;
    if (size < keep + tail + 1)
        return;
    /* Cut between characters, never inside a double-byte one; the text
       reaches the limit, so the walk stops there. */
    char *end = out + keep, *limit = out + size - 1 - tail;
    for (char *next; (next = NextChar(end)) <= limit;)
        end = next;
    *end = '\0';
    AppendText(out, size, kCutEnd);
}

bool FormatCopyMessage(const char *name, char *out, size_t size)
{
    return CopyText(out, size, kUnable) && AppendText(out, size, "copy file \"")
        && AppendText(out, size, name) && AppendChar(out, size, '"');
}

static bool AppendQuotedPath(char *out, size_t size, const char *dir, const char *name)
{
    return AppendChar(out, size, '"') && AppendPath(out, size, dir, name) && AppendChar(out, size, '"');
}

bool FormatStartCommand(const char *dir, char *out, size_t size)
{
    return CopyText(out, size, "") && AppendQuotedPath(out, size, dir, kProgramFile);
}

bool FormatReadmeCommand(const char *notepad, const char *dir, char *out, size_t size)
{
    return CopyText(out, size, "\"") && AppendText(out, size, notepad)
        && AppendText(out, size, "\" ") && AppendQuotedPath(out, size, dir, kReadmeFile);
}
