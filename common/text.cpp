#include "text.h"

/* Filled once at start-up from the ANSI code page; zero (single-byte) until then. */
static bool leadBytes[256];

void SetLeadByteRanges(const unsigned char *ranges, size_t count)
{
    for (unsigned c = 0; c < 256; c++)
        leadBytes[c] = false;
    for (; count >= 2 && ranges[0]; ranges += 2, count -= 2)
        for (unsigned c = ranges[0]; c <= ranges[1]; c++)
            leadBytes[c] = true;
}

const char *NextChar(const char *text)
{
    return text + (leadBytes[(unsigned char)text[0]] && text[1] ? 2 : 1);
}

const char *NameEnd(const char *text)
{
    while (*text && *text != '\\')
        text = NextChar(text);     /* a trail byte may be the separator's byte */
    return text;
}

size_t TextLength(const char *text)
{
    size_t n = 0;
    while (text[n])
        n++;
    return n;
}

bool CopyText(char *dst, size_t dstSize, const char *src)
{
    if (dstSize == 0)
        return false;
    dst[0] = '\0';
    return AppendText(dst, dstSize, src);
}

bool AppendText(char *dst, size_t dstSize, const char *src)
{
    size_t n = TextLength(dst);
    while (*src) {
        if (n + 1 >= dstSize)
            return false;
        dst[n++] = *src++;
        dst[n] = '\0';
    }
    return true;
}

bool AppendChar(char *dst, size_t dstSize, char c)
{
    char one[2] = { c, '\0' };
    return AppendText(dst, dstSize, one);
}

/* Long division by ten, 16 bits at a time: each step fits 32-bit arithmetic,
   so the 32-bit build needs no 64-bit division helper from the compiler's
   support library. Returns the remainder. */
static unsigned DivideByTen(uint64_t *value)
{
    uint64_t quotient = 0;
    uint32_t remainder = 0;
    for (int shift = 48; shift >= 0; shift -= 16) {
        uint32_t part = (remainder << 16) | (uint32_t)((*value >> shift) & 0xFFFF);
        quotient |= (uint64_t)(part / 10) << shift;
        remainder = part % 10;
    }
    *value = quotient;
    return remainder;
}

bool AppendUnsigned(char *dst, size_t dstSize, uint64_t value)
{
    char digits[21];
    size_t n = sizeof digits - 1;
    digits[n] = '\0';
    do {
        digits[--n] = (char)('0' + DivideByTen(&value));
    } while (value);
    return AppendText(dst, dstSize, digits + n);
}

bool TextEquals(const char *a, const char *b)
{
    while (*a && *a == *b) {
        a++;
        b++;
    }
    return *a == *b;
}

bool EndsWithSeparator(const char *text)
{
    bool separator = false;
    for (; *text; text = NextChar(text))
        separator = *text == '\\';
    return separator;
}

char UpperAscii(char c)
{
    return (c >= 'a' && c <= 'z') ? (char)(c - 'a' + 'A') : c;
}

void UpperAsciiText(char *text)
{
    for (; *text; text = NextChar(text))
        *text = UpperAscii(*text);
}

bool HasChar(const char *text, char c)
{
    for (; *text; text++)
        if (*text == c)
            return true;
    return false;
}

char DriveLetterOf(const char *text)
{
    if (text[0] == '\0' || text[1] != ':')
        return 0;
    char letter = UpperAscii(text[0]);
    return (letter >= 'A' && letter <= 'Z') ? letter : 0;
}

static bool IsNetworkPath(const char *path)
{
    return path[0] == '\\' && path[1] == '\\';
}

size_t RootLength(const char *path)
{
    if (DriveLetterOf(path))
        return path[2] == '\\' ? 3 : 2;
    if (!IsNetworkPath(path))
        return 0;
    /* "\\server\share\": the server's name, the share's, and the separator after it. */
    const char *p = NameEnd(path + 2);
    if (*p)
        p = NameEnd(p + 1);
    return (size_t)(p - path) + (*p ? 1 : 0);
}

bool CopyRoot(const char *path, char *root, size_t size)
{
    size_t length = RootLength(path);
    CopyText(root, length < size ? length + 1 : size, path);    /* the root, or what fits */
    if (length == 0 || length >= size || !(EndsWithSeparator(root) || AppendChar(root, size, '\\')))
        return false;
    root[0] = UpperAscii(root[0]);
    return true;
}

bool AppendPath(char *dst, size_t dstSize, const char *dir, const char *name)
{
    return AppendText(dst, dstSize, dir) && AppendChar(dst, dstSize, '\\')
        && AppendText(dst, dstSize, name);
}

bool FolderOfPath(const char *path, char *out, size_t size)
{
    const char *last = 0;
    for (const char *at = path; *at; at = NextChar(at))
        if (*at == '\\')
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

bool JoinPath(const char *dir, const char *name, char *out, size_t size)
{
    return CopyText(out, size, "") && AppendPath(out, size, dir, name);
}

bool InsertText(char *path, size_t size, size_t at, const char *text)
{
    size_t length = TextLength(path), count = TextLength(text);
    if (length + count + 1 > size)
        return false;
    for (size_t i = length + 1; i-- > at;)
        path[i + count] = path[i];
    for (size_t i = 0; i < count; i++)
        path[at + i] = text[i];
    return true;
}

bool AddMissingRoot(char *path, size_t size, char currentDrive)
{
    if (IsNetworkPath(path))
        return true;    /* a drive would name another place */
    if (DriveLetterOf(path))
        return path[2] == '\\' || InsertText(path, size, 2, "\\");
    if (!currentDrive)
        return false;
    char root[4] = { currentDrive, ':', '\\', '\0' };
    if (path[0] == '\\')
        root[2] = '\0';   /* a leading separator already names the root */
    return InsertText(path, size, 0, root);
}
