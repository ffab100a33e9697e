/* What the fuzz targets share: heap blocks of exactly the size under test, so
   that ASan reports any write or read one past the end; a check that stops
   the run with its reason; the input cut into lines of text; the code page
   the input chose; and models of the path rules, which split a text into
   characters on their own. */
#ifndef MORVALEN_FUZZ_CHECK_H
#define MORVALEN_FUZZ_CHECK_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>
#include "common/text.h"

/* Bytes outside printable ASCII shown as \xNN. */
inline std::string Shown(const std::string &text)
{
    std::string shown = "\"";
    for (unsigned char c : text) {
        char hex[8];
        snprintf(hex, sizeof hex, (c < 0x20 || c > 0x7e) ? "\\x%02x" : "%c", c);
        shown += hex;
    }
    return shown + "\"";
}

inline void Fail(const char *what, const char *file, int line, const char *label = 0,
                 const std::string *text = 0, const std::string *got = 0)
{
    fprintf(stderr, "check failed: %s at %s:%d\n", what, file, line);
    if (label)
        fprintf(stderr, "  %-8s %s\n  got      %s\n", label, Shown(*text).c_str(),
                Shown(*got).c_str());
    abort();
}

#define CHECK(condition) \
    do { if (!(condition)) Fail(#condition, __FILE__, __LINE__); } while (0)

/* The same, telling the text the call started from and the one it left. */
#define CHECK_CASE(condition, from, got) CHECK_TEXTS(condition, "from", from, got)
/* Or the text it should have left. */
#define CHECK_RESULT(condition, expected, got) CHECK_TEXTS(condition, "expected", expected, got)
#define CHECK_TEXTS(condition, label, text, got)                                \
    do {                                                                        \
        if (!(condition)) {                                                     \
            std::string text_ = (text), got_ = (got);                           \
            Fail(#condition, __FILE__, __LINE__, label, &text_, &got_);         \
        }                                                                       \
    } while (0)

/* Bytes past the text are junk, so a missing terminator shows. */
struct Block {
    char *data;
    size_t size;

    explicit Block(size_t n, const std::string &text = std::string())
        : data((char *)malloc(n)), size(n)
    {
        memset(data, 'x', n);
        if (n > 0) {
            CHECK(text.size() < n);
            memcpy(data, text.c_str(), text.size() + 1);
        }
    }
    ~Block() { free(data); }
    Block(const Block &) = delete;
    Block &operator=(const Block &) = delete;

    bool Terminated() const { return size > 0 && memchr(data, 0, size) != 0; }
    std::string Text() const
    {
        CHECK(Terminated());
        return std::string(data);
    }
};

/* Lines end at '\n' or NUL: the functions under test only ever see C texts. */
inline std::vector<std::string> Lines(const uint8_t *data, size_t size)
{
    std::vector<std::string> lines(1);
    for (size_t i = 0; i < size; i++) {
        if (data[i] == '\n' || data[i] == '\0')
            lines.emplace_back();
        else
            lines.back() += (char)data[i];
    }
    return lines;
}

/* A letter byte names the current drive; anything else means there is none. */
inline char DriveFromByte(uint8_t byte)
{
    if (byte >= 'a' && byte <= 'z')
        return (char)(byte - 'a' + 'A');
    return (byte >= 'A' && byte <= 'Z') ? (char)byte : 0;
}

inline size_t SizeFromBytes(const uint8_t *data)
{
    return (data[0] | (size_t)data[1] << 8) % 1024;
}

inline bool StartsWith(const std::string &text, const std::string &prefix)
{
    return text.compare(0, prefix.size(), prefix) == 0;
}

/* Lead bytes of the code page the input chose: none (a single-byte page),
   those of 932, or the 81-FE of 936, 949 and 950. */
inline bool g_leadByte[256];

inline void UseCodePage(const uint8_t *sizeBytes)
{
    static const unsigned char kRanges[3][6] = {
        { 0 }, { 0x81, 0x9F, 0xE0, 0xFC, 0 }, { 0x81, 0xFE, 0 },
    };
    const unsigned char *ranges = kRanges[(sizeBytes[1] >> 2) % 3];
    SetLeadByteRanges(ranges, sizeof kRanges[0]);
    for (int c = 0; c < 256; c++)
        g_leadByte[c] = (ranges[0] && c >= ranges[0] && c <= ranges[1])
            || (ranges[2] && c >= ranges[2] && c <= ranges[3]);
}

/* The characters of a text: a lead byte and the byte after it make one. */
inline std::vector<std::string> Chars(const std::string &text)
{
    std::vector<std::string> chars;
    for (size_t i = 0; i < text.size(); i++) {
        size_t n = g_leadByte[(unsigned char)text[i]] && i + 1 < text.size() ? 2 : 1;
        chars.push_back(text.substr(i, n));
        i += n - 1;
    }
    return chars;
}

inline bool EndsWithSep(const std::string &text)
{
    std::vector<std::string> chars = Chars(text);
    return !chars.empty() && chars.back() == "\\";
}

/* ASCII letters upper-cased, double-byte characters left alone. */
inline std::string Upper(const std::string &text)
{
    std::string upper;
    for (std::string c : Chars(text)) {
        if (c.size() == 1 && c[0] >= 'a' && c[0] <= 'z')
            c[0] = (char)(c[0] - 'a' + 'A');
        upper += c;
    }
    return upper;
}

inline char DriveOf(const std::string &text)
{
    if (text.size() < 2 || text[1] != ':')
        return 0;
    char letter = Upper(text.substr(0, 1))[0];
    return (letter >= 'A' && letter <= 'Z') ? letter : 0;
}

/* The non-empty components between separators. */
inline std::vector<std::string> Components(const std::string &text)
{
    std::vector<std::string> parts;
    std::string part;
    for (const std::string &c : Chars(text)) {
        if (c != "\\") {
            part += c;
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

/* The root a path starts with: "X:" or "X:\", or "\\server\share\" of a
   network path, as much of it as there is; empty for anything else. */
inline std::string RootOf(const std::string &text)
{
    if (DriveOf(text))
        return text.substr(0, text.size() > 2 && text[2] == '\\' ? 3 : 2);
    if (!StartsWith(text, "\\\\"))
        return std::string();
    std::string root = "\\\\";
    int separators = 0;
    for (const std::string &c : Chars(text.substr(2))) {
        if (separators == 2)
            break;
        root += c;
        separators += c == "\\";
    }
    return root;
}

/* One directory up: the text up to the separator just before the last
   component, or the root, which then comes with its separator. */
inline std::string Parent(const std::string &text)
{
    std::string root = RootOf(text);
    size_t cut = root.size(), at = root.size();
    std::string previous = "\\";
    for (const std::string &c : Chars(text.substr(root.size()))) {
        if (c != "\\" && previous == "\\")
            cut = at > root.size() ? at - 1 : root.size();
        at += c.size();
        previous = c;
    }
    if (cut > root.size())
        return text.substr(0, cut);
    return root + (root.empty() || EndsWithSep(root) ? "" : "\\");
}

/* The sizes worth trying: the caller's own, one short of the text, exact,
   one spare, and one the input chose. */
inline std::vector<size_t> SizesAround(size_t needed, size_t productSize, size_t chosen)
{
    std::vector<size_t> sizes = { productSize, needed, needed + 1, chosen };
    if (needed > 0)
        sizes.push_back(needed - 1);
    return sizes;
}

/* Sizes for a function that works in place: never less than the text needs. */
inline std::vector<size_t> InPlaceSizes(const std::string &text, size_t needed, size_t productSize,
                                        size_t chosen)
{
    std::vector<size_t> sizes;
    for (size_t size : SizesAround(needed, productSize, chosen))
        if (size > text.size())
            sizes.push_back(size);
    sizes.push_back(text.size() + 1);
    return sizes;
}

/* A path with its drive root put in where it lacks one, the rest as written
   (a network path has its root); empty when there is no drive to go by. */
inline std::string Rooted(const std::string &path, char currentDrive)
{
    if (StartsWith(path, "\\\\"))
        return path;
    if (DriveOf(path))
        return path.substr(0, 2) + (path.size() > 2 && path[2] == '\\' ? "" : "\\") + path.substr(2);
    if (!currentDrive)
        return std::string();
    return std::string(1, currentDrive) + (StartsWith(path, "\\") ? ":" : ":\\") + path;
}

/* format(out, size) must succeed exactly when expected fits, leave exactly it,
   and on refusal still leave a terminated prefix of what it was building. */
template <typename Format>
void CheckFormatted(const std::string &expected, const std::string &built,
                    size_t productSize, size_t chosen, Format format)
{
    for (size_t size : SizesAround(expected.size() + 1, productSize, chosen)) {
        Block out(size);
        bool ok = format(out.data, out.size);
        CHECK_RESULT(ok == (expected.size() < size), expected, ok ? out.Text() : "(refused)");
        if (ok)
            CHECK_RESULT(out.Text() == expected, expected, out.Text());
        else if (size > 0)
            CHECK_RESULT(StartsWith(built, out.Text()), built, out.Text());
    }
}

template <typename Format>
void CheckFormatted(const std::string &expected, size_t productSize, size_t chosen, Format format)
{
    CheckFormatted(expected, expected, productSize, chosen, format);
}

#endif
