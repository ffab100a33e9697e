/* The file placement's text work: the root a typed directory is given, the
   walk over its components, the joins. Input: a drive byte, two bytes of a
   buffer size (its unused high bits choose the code page), then lines: each
   one a directory, joined with the next as a name. */
#include "fuzz_check.h"
#include "common/text.h"
#include "files/path_text.h"

static const size_t kPathSize = 512;    /* PATH_TEXT_SIZE */
static const size_t kCases = 4;         /* more lines only slow the run down */

static std::string Joined(const std::vector<std::string> &components)
{
    std::string text;
    for (const std::string &component : components)
        text += (text.empty() ? "" : "\\") + component;
    return text;
}

/* The root the installation gives a typed directory; the rest stays as typed. */
static void CheckAddMissingRoot(const std::string &dir, char currentDrive, size_t chosen)
{
    std::string rooted = Rooted(dir, currentDrive);
    for (size_t size : InPlaceSizes(dir, rooted.size() + 1, kPathSize, chosen)) {
        Block buffer(size, dir);
        bool ok = AddMissingRoot(buffer.data, buffer.size, currentDrive);
        CHECK_CASE(ok == (!rooted.empty() && rooted.size() < size), dir, buffer.Text());
        CHECK_CASE(buffer.Text() == (ok ? rooted : dir), dir, buffer.Text());
    }

    /* A rooted directory stays as it is, with or without a current drive. */
    if (!rooted.empty() && rooted.size() < kPathSize) {
        Block again(kPathSize, rooted);
        CHECK(AddMissingRoot(again.data, again.size, 0));
        CHECK_CASE(again.Text() == rooted, rooted, again.Text());
    }
}

/* The walk that creates the directories one by one: every non-empty
   component in order, each cut in place where it stood in the text. */
static void CheckComponentWalk(const std::string &text)
{
    Block buffer(text.size() + 1, text);
    char *cursor = buffer.data;
    std::vector<std::string> seen;
    while (char *component = NextComponent(&cursor)) {
        size_t at = (size_t)(component - buffer.data);
        CHECK(at < text.size());
        std::string cut = component;
        CHECK_CASE(!cut.empty() && Components(cut) == std::vector<std::string>{ cut }, text, cut);
        CHECK(text.compare(at, cut.size(), cut) == 0);
        CHECK(at + cut.size() == text.size() || text[at + cut.size()] == '\\');
        CHECK(cursor > component && cursor <= buffer.data + text.size());
        seen.push_back(cut);
    }
    CHECK_CASE(seen == Components(text), text, Joined(seen));
    CHECK(cursor == buffer.data + text.size());
    CHECK(NextComponent(&cursor) == 0);
}

/* The root the walk starts from, and the one the free space is asked for. */
static void CheckRoot(const std::string &dir, size_t chosen)
{
    std::string root = RootOf(dir);
    CHECK_RESULT(RootLength(dir.c_str()) == root.size(), root, dir);
    if (root.empty())
        return;
    std::string whole = Upper(root.substr(0, 1)) + root.substr(1) + (EndsWithSep(root) ? "" : "\\");
    CheckFormatted(whole, root, kPathSize, chosen,
                   [&](char *out, size_t n) { return CopyRoot(dir.c_str(), out, n); });
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    char drive = DriveFromByte(data[0]);
    size_t chosen = SizeFromBytes(data + 1);
    UseCodePage(data + 1);
    std::vector<std::string> lines = Lines(data + 3, size - 3);

    for (size_t i = 0; i < lines.size() && i < kCases; i++) {
        const std::string &dir = lines[i];
        const std::string &name = lines[(i + 1) % lines.size()];
        CheckAddMissingRoot(dir, drive, chosen);
        CheckComponentWalk(dir);
        CheckRoot(dir, chosen);
        CheckFormatted(dir + "\\" + name, kPathSize, chosen,
                       [&](char *out, size_t n) { return JoinPath(dir.c_str(), name.c_str(), out, n); });
    }
    return 0;
}
