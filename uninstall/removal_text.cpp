#include "removal_text.h"
#include "common/text.h"

static bool IsSeparator(const char *at)
{
    return *at == '\\' || *at == '/';
}

/* Where the path ends without its trailing separators, a drive root's or a
   network root's included: "C:\" and "C:" are one folder to compare. */
static const char *TrimmedEnd(const char *path)
{
    const char *end = path;
    for (const char *at = path; *at; at = NextChar(at))
        if (!IsSeparator(at))
            end = NextChar(at);
    return end;
}

static const char *SkipSeparators(const char *at, const char *end)
{
    while (at < end && IsSeparator(at))
        ++at;
    return at;
}

bool SamePath(const char *a, const char *b)
{
    const char *endA = TrimmedEnd(a), *endB = TrimmedEnd(b);
    if (a == endA || b == endB)
        return false;
    /* A network path's leading pair is not a doubled separator. */
    for (int lead = 0; lead < 2 && IsSeparator(a) && IsSeparator(b); ++lead)
        ++a, ++b;
    while (a < endA && b < endB) {
        if (IsSeparator(a) && IsSeparator(b)) {
            a = SkipSeparators(a, endA);
            b = SkipSeparators(b, endB);
            continue;
        }
        const char *nextA = NextChar(a), *nextB = NextChar(b);
        if (nextA - a != nextB - b)
            return false;
        if (nextA - a == 1 ? UpperAscii(*a) != UpperAscii(*b) : (a[0] != b[0] || a[1] != b[1]))
            return false;
        a = nextA;
        b = nextB;
    }
    return a == endA && b == endB;
}

bool FolderOfPath(const char *path, char *out, size_t size)
{
    const char *last = 0;
    for (const char *at = path; *at; at = NextChar(at))
        if (IsSeparator(at))
            last = at;
    if (!last)
        return false;
    size_t length = (size_t)(last - path);
    if (length < RootLength(path))
        length = RootLength(path);
    if (length + 1 > size)
        return false;
    for (size_t i = 0; i < length; ++i)
        out[i] = path[i];
    out[length] = '\0';
    return true;
}

bool PathInFolder(const char *path, const char *folder)
{
    char parent[512];
    return FolderOfPath(path, parent, sizeof parent) && SamePath(parent, folder);
}

bool RecordNamesFolder(const char *record, const char *folder)
{
    char completed[512];
    if (!CopyText(completed, sizeof completed, record))
        return false;
    AddMissingRoot(completed, sizeof completed, DriveLetterOf(folder));
    return SamePath(completed, folder);
}

bool UninstallStringNamesFolder(const char *value, const char *folder)
{
    char path[512];
    if (*value == '"') {
        ++value;
        if (!CopyText(path, sizeof path, value))
            return false;
        char *quote = path;
        while (*quote && *quote != '"')
            quote = NextChar(quote);
        if (*quote != '"' || quote[1])
            return false;   /* arguments or an open quote: not the string the setup writes */
        *quote = '\0';
    } else if (!CopyText(path, sizeof path, value)) {
        return false;
    }
    char *name = path;
    for (char *at = path; *at; at = NextChar(at))
        if (IsSeparator(at))
            name = at + 1;
    return SamePath(name, "UNINSTAL.EXE") && PathInFolder(path, folder);
}

bool FormatWithText(const char *format, const char *text, char *out, size_t size)
{
    if (!CopyText(out, size, ""))
        return false;
    for (const char *at = format; *at; ++at) {
        if (at[0] == '%' && at[1] == 's') {
            if (!AppendText(out, size, text))
                return false;
            ++at;
        } else if (!AppendChar(out, size, *at)) {
            return false;
        }
    }
    return true;
}

bool HasSilentSwitch(const char *commandLine)
{
    const char *at = commandLine;
    if (*at == '"') {
        for (++at; *at && *at != '"'; at = NextChar(at)) {}
        if (*at)
            ++at;
    } else {
        while (*at && *at != ' ' && *at != '\t')
            at = NextChar(at);
    }
    for (;;) {
        while (*at == ' ' || *at == '\t')
            ++at;
        if (!*at)
            return false;
        if ((at[0] == '/' || at[0] == '-') && UpperAscii(at[1]) == 'S'
            && (!at[2] || at[2] == ' ' || at[2] == '\t'))
            return true;
        while (*at && *at != ' ' && *at != '\t')
            at = NextChar(at);
    }
}

static bool IsLineEnd(char c)
{
    return c == '\r' || c == '\n';
}

/* Whether the line at text is the [rename] header, blanks around allowed. */
static bool IsRenameHeader(const char *line)
{
    while (*line == ' ' || *line == '\t')
        ++line;
    const char *header = "[RENAME]";
    for (; *header; ++header, ++line)
        if (UpperAscii(*line) != *header)
            return false;
    while (*line == ' ' || *line == '\t')
        ++line;
    return !*line || IsLineEnd(*line);
}

/* Puts insert into text at offset, moving what follows. */
static bool InsertText(char *text, size_t size, size_t offset, const char *insert)
{
    size_t length = TextLength(text), added = TextLength(insert);
    if (length + added + 1 > size)
        return false;
    for (size_t i = length + 1; i-- > offset;)
        text[i + added] = text[i];
    for (size_t i = 0; i < added; ++i)
        text[offset + i] = insert[i];
    return true;
}

bool AddRenameDeletion(char *text, size_t size, const char *path)
{
    char line[300];
    if (!CopyText(line, sizeof line, "NUL=") || !AppendText(line, sizeof line, path)
        || !AppendText(line, sizeof line, "\r\n"))
        return false;
    size_t length = TextLength(text);
    for (size_t at = 0; at < length;) {
        size_t end = at;
        while (end < length && !IsLineEnd(text[end]))
            ++end;
        if (IsRenameHeader(text + at)) {
            if (end == length)
                return AppendText(text, size, "\r\n") && AppendText(text, size, line);
            if (text[end] == '\r' && text[end + 1] == '\n')
                ++end;
            return InsertText(text, size, end + 1, line);
        }
        at = end + 1;
    }
    if (length && !IsLineEnd(text[length - 1]) && !AppendText(text, size, "\r\n"))
        return false;
    return AppendText(text, size, "[rename]\r\n") && AppendText(text, size, line);
}

bool IsBlankText(const char *text, size_t length)
{
    for (size_t i = 0; i < length; ++i)
        if (text[i] != ' ' && text[i] != '\t' && !IsLineEnd(text[i]))
            return false;
    return true;
}

bool FormatPrivateName(uint32_t value, char *out, size_t size)
{
    if (!CopyText(out, size, "~mv"))
        return false;
    for (int shift = 28; shift >= 0; shift -= 4)
        if (!AppendChar(out, size, "0123456789abcdef"[(value >> shift) & 15]))
            return false;
    return AppendText(out, size, ".tmp");
}
