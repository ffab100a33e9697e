/* Buffers of exactly the size under test, so that ASan reports any write past
   the end, and a probe for the longest argument a formatter still accepts. */
#ifndef MORVALEN_TEST_FIT_H
#define MORVALEN_TEST_FIT_H

#include <stddef.h>
#include <string>
#include <vector>
#include "common/text.h"

inline std::vector<char> Holding(const std::string &text, size_t size)
{
    std::vector<char> buffer(size, 'x');
    text.copy(buffer.data(), text.size());
    buffer[text.size()] = '\0';
    return buffer;
}

/* Calls format(n, out, size) for n = 0, 1, ... into fresh exact-size buffers
   and returns the last n that succeeded (-1 when even 0 fails). A success
   must leave a terminated text inside the buffer. */
template <typename Format>
long LongestFit(size_t size, Format format)
{
    for (size_t n = 0; n <= size; n++) {
        std::vector<char> out(size, 'x');
        if (!format(n, out.data(), size))
            return (long)n - 1;
        if (std::string(out.data(), size).find('\0') == std::string::npos)
            return -2;
    }
    return (long)size + 1;
}

/* Lead-byte ranges as GetCPInfo reports them; the test puts single-byte back. */
struct CodePage {
    const char *name;
    unsigned char ranges[6];
};
static const CodePage kSingleByte = { "1252", { 0 } };
static const CodePage k932 = { "932", { 0x81, 0x9F, 0xE0, 0xFC, 0 } };
static const CodePage k936 = { "936", { 0x81, 0xFE, 0 } };
static const CodePage k949 = { "949", { 0x81, 0xFE, 0 } };
static const CodePage k950 = { "950", { 0x81, 0xFE, 0 } };

struct UsingCodePage {
    explicit UsingCodePage(const CodePage &page) { SetLeadByteRanges(page.ranges, sizeof page.ranges); }
    ~UsingCodePage() { SetLeadByteRanges(kSingleByte.ranges, sizeof kSingleByte.ranges); }
};

#endif
