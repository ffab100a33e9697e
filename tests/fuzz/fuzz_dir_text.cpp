/* The directory selection's text work. Input: a drive byte, two bytes of a
   buffer size, four of a drive mask, eight of a byte count, then lines; the
   first line is the typed directory, each further one an entry opened. The
   size's unused high bits choose the code page. */
#include "fuzz_check.h"
#include "ui/dir_text.h"

static const size_t kDirSize = 512;     /* the state record's installDir */
static const size_t kCases = 4;         /* lines checked on their own */
static const size_t kSteps = 16;        /* entries opened in one walk */

static void CheckDriveList(uint32_t mask, size_t chosen)
{
    std::string packed;
    for (int bit = 0; bit < 26; bit++)
        if (mask & (1u << bit))
            packed += std::string(1, (char)('A' + bit)) + ":\\" + '\0';
    packed += std::string(2, '\0');

    std::vector<size_t> sizes = SizesAround(packed.size(), DRIVE_LIST_SIZE, chosen);
    sizes.insert(sizes.end(), { 0, 1, 2 });
    for (size_t size : sizes) {
        Block out(size);
        bool ok = PackDriveList(mask, out.data, out.size);
        CHECK(ok == (size >= packed.size()));
        if (ok)
            CHECK(memcmp(out.data, packed.data(), packed.size()) == 0);
        else
            for (size_t i = 0; i < size && i < 2; i++)
                CHECK(out.data[i] == '\0');
    }
}

static void CheckCompleteDriveLetter(const std::string &path, char drive, size_t chosen)
{
    std::string completed = Rooted(path, drive);
    if (!completed.empty())
        completed = Upper(completed.substr(0, 1)) + completed.substr(1);

    for (size_t size : InPlaceSizes(path, completed.size() + 1, kDirSize, chosen)) {
        Block buffer(size, path);
        bool ok = CompleteDriveLetter(buffer.data, buffer.size, drive);
        CHECK_CASE(ok == (!completed.empty() && completed.size() < size), path, buffer.Text());
        CHECK_CASE(buffer.Text() == (ok ? completed : path), path, buffer.Text());
    }
}

/* One directory up, as the model has it; a root's separator comes only
   where the buffer has room for it. */
static void CheckOneUp(const std::string &before, const std::string &after, size_t size)
{
    std::string parent = Parent(before);
    if (parent.size() >= size)
        parent.pop_back();
    CHECK_RESULT(after == parent, parent, after);
}

static void CheckGoToParent(const std::string &dir, size_t chosen)
{
    for (size_t size : InPlaceSizes(dir, dir.size() + 1, kDirSize, chosen)) {
        Block buffer(size, dir);
        GoToParent(buffer.data, buffer.size);
        CheckOneUp(dir, buffer.Text(), size);
    }
}

static void CheckEnterChild(const std::string &dir, const std::string &name, size_t chosen)
{
    std::string entered = dir + (EndsWithSep(dir) ? "" : "\\") + name;
    for (size_t size : InPlaceSizes(dir, entered.size() + 1, kDirSize, chosen)) {
        Block buffer(size, dir);
        bool ok = EnterChild(buffer.data, buffer.size, name.c_str());
        CHECK_CASE(ok == (entered.size() < size), dir, buffer.Text());
        CHECK_CASE(buffer.Text() == (ok ? entered : dir), dir, buffer.Text());
    }
}

static void CheckEntryName(const std::string &entry, size_t chosen)
{
    size_t needed = entry.size() >= 2 ? entry.size() - 1 : 1;
    for (size_t size : SizesAround(needed, LIST_ENTRY_SIZE, chosen)) {
        Block name(size);
        bool ok = EntryName(entry.c_str(), name.data, name.size);
        CHECK(ok == (entry.size() >= 2 && needed <= size));
        if (ok)
            CHECK_CASE(name.Text() == entry.substr(1, entry.size() - 2), entry, name.Text());
    }
}

/* A listed subdirectory reads back as the name it was listed for. */
static void CheckEntryRoundTrip(const std::string &name)
{
    Block entry(LIST_ENTRY_SIZE), back(LIST_ENTRY_SIZE);
    if (!MakeDirectoryEntry(name.c_str(), entry.data, entry.size))
        return;
    CHECK(EntryName(entry.data, back.data, back.size));
    CHECK_CASE(back.Text() == name, name, back.Text());
}

/* The way the browse dialog goes: complete the typed directory, then go up
   for "..", into the named subdirectory otherwise. The root stays. */
static void Browse(const std::vector<std::string> &lines, char drive, size_t chosen)
{
    if (lines[0].size() >= kDirSize)
        return;
    Block dir(kDirSize, lines[0]);
    if (!CompleteDriveLetter(dir.data, dir.size, drive))
        return;
    CHECK(!RootOf(dir.Text()).empty());
    for (size_t i = 1; i < lines.size() && i <= kSteps; i++) {
        std::string before = dir.Text();
        if (lines[i] == "..") {
            GoToParent(dir.data, dir.size);
            CheckOneUp(before, dir.Text(), dir.size);
        } else {
            CheckEnterChild(before, lines[i], chosen);
            EnterChild(dir.data, dir.size, lines[i].c_str());
        }
        CHECK_CASE(StartsWith(dir.Text(), RootOf(before)), before, dir.Text());
    }
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 15)
        return 0;
    char drive = DriveFromByte(data[0]);
    size_t chosen = SizeFromBytes(data + 1);
    UseCodePage(data + 1);
    uint32_t mask = 0;
    uint64_t bytes = 0;
    memcpy(&mask, data + 3, sizeof mask);
    memcpy(&bytes, data + 7, sizeof bytes);
    std::vector<std::string> lines = Lines(data + 15, size - 15);

    CheckFormatted(std::to_string(bytes >> 10) + "kB", 32, chosen,
                   [&](char *out, size_t n) { return FormatKilobytes(bytes, out, n); });
    CheckDriveList(mask, chosen);
    for (size_t i = 0; i < lines.size() && i < kCases; i++) {
        const std::string &line = lines[i];
        CheckCompleteDriveLetter(line, drive, chosen);
        CheckGoToParent(line, chosen);
        CheckEntryName(line, chosen);
        CheckEntryRoundTrip(line);
        CheckFormatted(line + (EndsWithSep(line) ? "" : "\\") + "*.*", LIST_ENTRY_SIZE, chosen,
                       [&](char *out, size_t n) { return MakeSearchPattern(line.c_str(), out, n); });
        CheckFormatted("[" + line + "]", LIST_ENTRY_SIZE, chosen,
                       [&](char *out, size_t n) { return MakeDirectoryEntry(line.c_str(), out, n); });
        CHECK(IsDotOrDotDot(line.c_str()) == (line == "." || line == ".."));
    }
    Browse(lines, drive, chosen);
    return 0;
}
