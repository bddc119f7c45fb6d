"""The module's sentence catalogue, read from its parts' sentences.def files: one reader for
the contract test and the end-to-end table (and for documents checked against it).

An entry is SENTENCE(Symbol, "id", "text" ...) or PART(...), the text one or more C string
literals; {name} in a text is a value, {@id} another entry of the same part."""
import os, re
from dataclasses import dataclass

ID = re.compile(r"[a-z0-9]+(?:-[a-z0-9]+)*")
ENTRY = re.compile(r'^(SENTENCE|PART)\s*\(\s*(\w+)\s*,\s*"([^"\\]*)"\s*,\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\)', re.M)
LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
FIELD = re.compile(r"\{(@?)([^{}]*)\}")
# A line of standard error: ">>[id] text" (a headline) or ">[id] text" (a detail).
TAGGED = re.compile(r"^(>>?)\[(" + ID.pattern + r")\] (.*)$")


@dataclass(frozen=True)
class Entry:
    part: str       # the folder under module/ whose sentences.def holds it
    kind: str       # SENTENCE or PART
    symbol: str
    id: str
    text: str
    where: str      # file:line


def text_of(path):
    with open(path, encoding="utf-8") as file:
        return file.read()


def unescape(literal):
    return re.sub(r"\\(.)", lambda m: {"n": "\n", "t": "\t"}.get(m[1], m[1]), literal)


def parse(path, part):
    code = re.sub(r"(?m)^\s*//[^\n]*", "", text_of(path))
    return [Entry(part, m[1], m[2], m[3], "".join(unescape(l) for l in LITERAL.findall(m[4])),
                  f"{path}:{code.count(chr(10), 0, m.start()) + 1}") for m in ENTRY.finditer(code)]


def read(module):
    """Every entry of the module's catalogue, in the order written: each sentences.def under `module`, its part
    the folder below `module` that holds it."""
    return [entry for folder, _, files in sorted(os.walk(module)) if "sentences.def" in files
            for entry in parse(os.path.join(folder, "sentences.def"), os.path.relpath(folder, module).split(os.sep)[0])]


def pattern(entry, entries):
    """The entry's text as a regular expression: {name} any value (some are empty by design, as
    " over IPv6" or nothing), {@id} that entry's own pattern."""
    pieces, part = FIELD.split(entry.text), {e.id: e for e in entries if e.part == entry.part}
    return "".join(re.escape(piece) if i % 3 == 0 else "" if i % 3 == 1 else
                   pattern(part[piece], entries) if pieces[i - 1] else ".*?" for i, piece in enumerate(pieces))


def window_ids(root):
    """The ids frontend/module_ids.h names, which the window acts on."""
    return re.findall(r'constexpr char \w+\[\] = "([^"]*)";', text_of(os.path.join(root, "frontend", "module_ids.h")))


def told(stderr):
    """Each line of standard error as (mark, id, text): mark ">>" a headline, ">" a detail, ""
    an untagged line (id empty, text the whole line)."""
    for line in stderr.splitlines():
        m = TAGGED.match(line)
        yield (m[1], m[2], m[3]) if m else ("", "", line)
