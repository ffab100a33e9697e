#include "shell_text.h"
#include "common/text.h"

bool FormatLinkDescription(const char *fileName, char *out, size_t size)
{
    if (!CopyText(out, size, "Shortcut to ") || !AppendText(out, size, fileName))
        return false;
    UpperAsciiText(out + 12);
    return true;
}

bool FormatLinkTarget(const char *dir, const char *fileName, char *out, size_t size)
{
    size_t start = TextLength(dir);
    if (!JoinPath(dir, fileName, out, size))
        return false;
    UpperAsciiText(out + start);
    return true;
}

bool FormatAddItemCommand(const char *dir, const char *fileName, const char *title,
                          char *out, size_t size)
{
    return CopyText(out, size, "[AddItem(\"") && AppendPath(out, size, dir, fileName)
        && AppendText(out, size, "\",\"") && AppendText(out, size, title)
        && AppendText(out, size, "\")]");
}
