#!/usr/bin/env bash
# Checks the relative links of README.md and docs/*.md: each must name a file
# (or folder) of the repository, and a #anchor must match a heading of the
# markdown file it names, by GitHub's rules for heading anchors. Links to
# other sites are counted but not fetched. Prints how many links it checked.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
exec python3 -B - "$root" "$@" <<'EOF'
import html, os, re, subprocess, sys, unicodedata
from urllib.parse import unquote

root = sys.argv[1]
pages = sys.argv[2:] or ["README.md"] + sorted(
    os.path.join("docs", n) for n in os.listdir(os.path.join(root, "docs")) if n.endswith(".md"))

# What the repository holds: tracked and new files, not ignored build output,
# which a link on the published page could not reach.
try:
    listed = subprocess.run(["git", "-C", root, "ls-files", "-z", "--cached", "--others", "--exclude-standard"],
                            capture_output=True, check=True).stdout.decode().split("\0")
    files = {f for f in listed if f and os.path.isfile(os.path.join(root, f))}
except (OSError, subprocess.CalledProcessError):
    files = set()
    for d, subfolders, names in os.walk(root):
        if d == root:
            subfolders[:] = [s for s in subfolders if s not in (".git", "build")]
        files.update(os.path.relpath(os.path.join(d, n), root) for n in names)
folders = {os.path.dirname(f) for f in files}
for f in list(folders):
    while f:
        f = os.path.dirname(f)
        folders.add(f)

FENCE = re.compile(r"^ {0,3}(`{3,}|~{3,})")
ATX = re.compile(r"^ {0,3}(#{1,6})(?:[ \t]+(.*?))?(?:[ \t]+#+)?[ \t]*$")
SETEXT = re.compile(r"^ {0,3}(=+|-+)[ \t]*$")
LIST_ITEM = re.compile(r"^ {0,3}(?:[-+*]|\d{1,9}[.)])(?:[ \t]|$)")
CODE_SPAN = re.compile(r"(`+)(.+?)\1", re.S)
INLINE = re.compile(r"!?\[((?:[^\[\]]|\[[^\[\]]*\])*)\]\(\s*(<[^>]*>|[^\s()]*(?:\([^\s()]*\)[^\s()]*)*)"
                    r"(?:\s+(?:\"[^\"]*\"|'[^']*'|\([^)]*\)))?\s*\)")
REFDEF = re.compile(r"^ {0,3}\[([^\]]+)\]:\s*(<[^>]*>|\S+)")
HTML_LINK = re.compile(r"<(?:a|img)\b[^>]*?\b(?:href|src)\s*=\s*[\"']([^\"']*)[\"']", re.I)
HTML_ID = re.compile(r"<[a-z][^>]*?\b(?:id|name)\s*=\s*[\"']([^\"']*)[\"']", re.I)
SCHEME = re.compile(r"^(?:[a-zA-Z][a-zA-Z0-9+.-]*:|//)")
LINE_ANCHOR = re.compile(r"^L\d+(?:C\d+)?(?:-L\d+(?:C\d+)?)?$")


def prose_lines(text):
    """Yields (line number, line) for the lines outside code blocks, blank ones left out."""
    fence = None
    blank = True
    in_list = False
    lines = text.split("\n")
    for number, line in enumerate(lines, 1):
        if fence:
            if re.match(r"^ {0,3}" + fence[0] + "{" + str(len(fence)) + r",}[ \t]*$", line):
                fence = None
            continue
        opened = FENCE.match(line)
        if opened:
            fence = opened.group(1)
            continue
        if not line.strip():
            blank = True
            continue
        # An indented block after a blank line is code, unless it continues a list item.
        if blank and re.match(r"^(?: {4}|\t)", line) and not in_list:
            continue
        if LIST_ITEM.match(line):
            in_list = True
        elif blank and not re.match(r"^[ \t]", line):
            in_list = False
        blank = False
        yield number, line


def heading_text(markdown):
    """The plain text GitHub renders for a heading's inline markdown."""
    text = CODE_SPAN.sub(lambda m: m.group(2).strip(), markdown)
    text = re.sub(r"!\[([^\]]*)\]\([^)]*\)", r"\1", text)
    text = re.sub(r"\[([^\]]*)\](?:\([^)]*\)|\[[^\]]*\])", r"\1", text)
    text = re.sub(r"<[^>]+>", "", text)
    text = re.sub(r"(?<!\w)(_{1,2})(?=\S)(.+?)(?<=\S)\1(?!\w)", r"\2", text)
    return html.unescape(text)


def slug(text):
    """GitHub's anchor: lower case, only word characters, '-' and spaces, spaces made '-'."""
    kept = []
    for ch in text.lower():
        category = unicodedata.category(ch)
        if ch in "- " or category[0] in "LM" or category in ("Nd", "Nl", "Pc"):
            kept.append(ch)
    return "".join(kept).replace(" ", "-")


anchors_of = {}


def anchors(path):
    if path not in anchors_of:
        with open(os.path.join(root, path), encoding="utf-8") as f:
            text = f.read()
        found = set()
        counts = {}
        previous = None
        previous_number = 0
        for number, line in prose_lines(text):
            atx = ATX.match(line)
            # A line of = or - right under a paragraph's line makes that line a heading.
            underline = SETEXT.match(line) and previous is not None and previous_number == number - 1
            if atx:
                title = atx.group(2) or ""
            elif underline and not LIST_ITEM.match(previous) and not ATX.match(previous) \
                    and "|" not in previous:
                title = previous.strip()
            else:
                title = None
            if title is not None:
                base = slug(heading_text(title))
                name = base if base not in counts else f"{base}-{counts[base]}"
                counts[base] = counts.get(base, 0) + 1
                found.add(name)
                previous = None
            else:
                previous = line
            previous_number = number
            found.update(HTML_ID.findall(line))
        anchors_of[path] = found
    return anchors_of[path]


checked = external = 0
broken = []
for page in pages:
    with open(os.path.join(root, page), encoding="utf-8") as f:
        text = f.read()
    for number, line in prose_lines(text):
        bare = CODE_SPAN.sub(lambda m: " " * len(m.group(0)), line)
        targets = [m.group(2) for m in INLINE.finditer(bare)] + HTML_LINK.findall(bare)
        ref = REFDEF.match(bare)
        if ref:
            targets.append(ref.group(2))
        for target in targets:
            target = target.strip("<>")
            if SCHEME.match(target):
                external += 1
                continue
            checked += 1
            where = f"{page}:{number}: {target}"
            path, _, anchor = target.partition("#")
            path = unquote(path)
            if not path:
                resolved = page
            elif path.startswith("/"):
                resolved = os.path.normpath(path.lstrip("/"))
            else:
                resolved = os.path.normpath(os.path.join(os.path.dirname(page), path))
            if resolved == ".." or resolved.startswith("../"):
                broken.append(f"{where}: outside the repository")
                continue
            if resolved == ".":
                resolved = ""
            if resolved not in files and resolved not in folders:
                broken.append(f"{where}: no such file in the repository")
                continue
            if not anchor:
                continue
            anchor = unquote(anchor)
            if resolved.endswith((".md", ".markdown")):
                if anchor not in anchors(resolved):
                    broken.append(f"{where}: no heading with the anchor #{anchor} in {resolved}")
            elif resolved in folders or not LINE_ANCHOR.match(anchor):
                broken.append(f"{where}: #{anchor} is no anchor of {resolved}")

for line in broken:
    print(f"FAIL: {line}")
print(f"links: {checked} checked in {len(pages)} pages, {len(broken)} broken; {external} to other sites not fetched")
sys.exit(1 if broken else 0)
EOF
