/* The texts the sequence and the shell registration build. Input: two bytes
   of a buffer size (its unused high bits choose the code page), then lines:
   each one a directory, with the next two as file name and title. */
#include "fuzz_check.h"
#include "messages.h"
#include "shell/shell_text.h"
#include "common/product.h"

static const size_t kTextSize = 512;    /* PATH_TEXT_SIZE */
static const size_t kCases = 4;         /* more lines only slow the run down */

/* The whole characters of text that fit in room bytes. */
static std::string CutToFit(const std::string &text, size_t room)
{
    std::string kept;
    for (const std::string &c : Chars(text)) {
        if (kept.size() + c.size() > room)
            break;
        kept += c;
    }
    return kept;
}

/* Always a terminated text; cut short with "..." only when the whole one
   does not fit and the buffer has room for the prefix and the ending. */
static void CheckMakePathMessage(const std::string &dir, size_t chosen)
{
    const std::string prefix = "Unable to install:  Can't make path \"";
    std::string whole = prefix + dir + "\"";
    std::vector<size_t> sizes = SizesAround(whole.size() + 1, kTextSize, chosen);
    sizes.insert(sizes.end(), { 0, prefix.size() + 4, prefix.size() + 5 });
    for (size_t size : sizes) {
        Block out(size);
        FormatMakePathMessage(dir.c_str(), out.data, out.size);
        if (size == 0)
            continue;
        std::string text = out.Text();
        if (whole.size() < size)
            CHECK_RESULT(text == whole, whole, text);
        else if (size >= prefix.size() + 5)
            CHECK_RESULT(text == prefix + CutToFit(dir, size - 5 - prefix.size()) + "...\"",
                         whole, text);
        else
            CHECK_RESULT(StartsWith(whole, text), whole, text);
    }
}

static void CheckUninstallString(const std::string &dir, size_t chosen)
{
    std::string path = dir + "\\UNINSTAL.EXE";
    auto format = [&](char *out, size_t n) { return FormatUninstallString(dir.c_str(), out, n); };
    if (path.size() >= kTextSize) {
        for (size_t size : SizesAround(path.size() + 1, kTextSize, chosen)) {
            Block out(size);
            CHECK(!format(out.data, out.size));
        }
        return;
    }
    CheckFormatted(path.find(' ') == std::string::npos ? path : "\"" + path + "\"",
                   kTextSize, chosen, format);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 2)
        return 0;
    size_t chosen = SizeFromBytes(data);
    UseCodePage(data);
    std::vector<std::string> lines = Lines(data + 2, size - 2);

    for (size_t i = 0; i < lines.size() && i < kCases; i++) {
        const char *dir = lines[i].c_str();
        const char *name = lines[(i + 1) % lines.size()].c_str();
        const char *title = lines[(i + 2) % lines.size()].c_str();
        std::string inDir = lines[i] + "\\";

        CheckMakePathMessage(dir, chosen);
        CheckFormatted("Unable to install:  Can't copy file \"" + std::string(name) + "\"",
                       kTextSize, chosen,
                       [&](char *out, size_t n) { return FormatCopyMessage(name, out, n); });
        CheckFormatted("\"" + inDir + "Morvalen.exe\"", kTextSize, chosen,
                       [&](char *out, size_t n) { return FormatStartCommand(dir, out, n); });
        CheckFormatted("\"" + std::string(title) + "\" \"" + inDir + "readme.txt\"", kTextSize, chosen,
                       [&](char *out, size_t n) { return FormatReadmeCommand(title, dir, out, n); });
        CheckUninstallString(dir, chosen);
        CheckFormatted(std::string(dir) + "\\Morvalen\\" + name + ".LNK", LINK_TEXT_SIZE, chosen,
                       [&](char *out, size_t n) { return FormatLinkPath(dir, name, out, n); });
        /* Only a whole text is upper-cased; a refused one is left as built. */
        CheckFormatted("Shortcut to " + Upper(name), "Shortcut to " + std::string(name),
                       LINK_TEXT_SIZE, chosen,
                       [&](char *out, size_t n) { return FormatLinkDescription(name, out, n); });
        CheckFormatted(inDir + Upper(name), inDir + name, LINK_TEXT_SIZE, chosen,
                       [&](char *out, size_t n) { return FormatLinkTarget(dir, name, out, n); });
        CheckFormatted("[AddItem(\"" + inDir + name + "\",\"" + title + "\")]", kTextSize, chosen,
                       [&](char *out, size_t n) {
                           return FormatAddItemCommand(dir, name, title, out, n);
                       });
    }
    return 0;
}
