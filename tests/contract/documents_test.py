#!/usr/bin/env python3
"""What the documents quote against what the tool writes: each sentence README.md quotes (in
double quotes or a block quote; *N*, *address* or ... for a part that varies) against the
module's catalogue and the texts in the window's and the module's code, and the helper's
arguments as docs/DEVELOPING.md gives them against the helper's own usage.

    documents_test.py SOURCE-ROOT [HELPER]   (HELPER: the built kavro-ufw-allow, run for its usage)"""
import functools, glob, os, re, subprocess, sys, unittest

import catalogue

ROOT = os.path.realpath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../.."))
HELPER = sys.argv.pop(1) if len(sys.argv) > 1 else None
WILD, HOLE = "\0wild", "\0hole"   # a part of a quote that varies; a value in the tool's text
sys.setrecursionlimit(10000)   # a match goes a character deep


def spaced(text):
    return re.sub(r"\s+", " ", text).strip()


def tokens(pieces, mark):
    """The characters of the pieces, one `mark` between each two."""
    return [token for i, piece in enumerate(pieces) for token in ([mark] if i else []) + list(piece)]


def composed(entry, entries):
    """A catalogue entry's text with each {@id} in it written out."""
    part = {e.id: e for e in entries if e.part == entry.part}
    return re.sub(r"\{@([^{}]*)\}", lambda m: composed(part[m[1]], entries), entry.text)


def code_texts(folder):
    """Every C or C++ string literal under `folder`, adjacent ones joined."""
    texts = []
    for path in glob.glob(os.path.join(folder, "**", "*.*"), recursive=True):
        if path.endswith((".cpp", ".h")):
            code = re.sub(r"(?m)//[^\n]*", "", catalogue.text_of(path))
            for run in re.finditer(r'"(?:[^"\\\n]|\\.)*"(?:\s*"(?:[^"\\\n]|\\.)*")*', code):
                texts.append(catalogue.unescape("".join(catalogue.LITERAL.findall(run[0]))))
    return texts


def within(quote, text, words=frozenset()):
    """Whether some text the template `text` writes holds a text the quote stands for: a WILD of
    the quote takes any of the text; a HOLE of the text a WILD of the quote, an example value
    (digits and signs, as 11.77.0.1:25565) or one whole text of `words`, which the tool writes
    into it (as "until it restarts"); any other word the quote spells out is the text's own."""
    q = tokens(re.split(r"\*[^*]+\*|\s*(?:\.\.\.|…)\s*", spaced(quote)), WILD)  # *like this*, ... or … (and blanks)
    t = tokens(re.split(r"\{[a-z]+\}|%\d", re.sub(r"\s+", " ", text)), HOLE)    # {name} of the catalogue, %1 of Qt

    def value(i, k):
        piece = q[i:k]
        return (not any(c != WILD and c.isalpha() for c in piece) or
                (WILD not in piece and "".join(piece).strip() in words))

    @functools.lru_cache(maxsize=None)
    def fits(i, j):
        if i == len(q):
            return True
        if j == len(t):
            return all(token == WILD for token in q[i:])
        if q[i] == WILD:
            return fits(i + 1, j) or fits(i, j + 1)
        if t[j] == HOLE:
            return any(value(i, k) and fits(k, j + 1) for k in range(i, len(q) + 1))
        return q[i] == t[j] and fits(i + 1, j + 1)

    return any(fits(0, j) for j in range(len(t)))


class Documents(unittest.TestCase):
    def test_each_sentence_the_readme_quotes_is_one_the_tool_writes(self):
        entries = catalogue.read(os.path.join(ROOT, "module"))
        texts = ([composed(e, entries) for e in entries] + code_texts(os.path.join(ROOT, "module")) +
                 code_texts(os.path.join(ROOT, "frontend")) +
                 [line for path in glob.glob(os.path.join(ROOT, "packaging", "**", "*.desktop"), recursive=True)
                  for line in catalogue.text_of(path).splitlines()])
        words = frozenset(spaced(text) for text in texts)
        # The double-quoted texts and block-quoted lines of README.md, outside code.
        prose = re.sub(r"`[^`]*`", "``", "\n".join(line for line in catalogue.text_of(os.path.join(ROOT, "README.md"))
                                                   .splitlines() if not line.startswith("    ")))
        quoted = ([spaced(q) for q in re.findall(r'"([^"]+)"', prose)] +
                  [spaced(line[1:]) for line in prose.splitlines() if line.startswith(">")])
        self.assertTrue(quoted, "README.md quotes nothing")
        for quote in quoted:
            self.assertTrue(any(within(quote, text, words) for text in texts), f'README.md quotes "{quote}", '
                            "which neither the module's catalogue nor the window's or the module's code writes")

    def test_the_helper_is_documented_with_its_own_arguments(self):
        if HELPER is None:
            self.skipTest("no helper built here")
        said = subprocess.run([HELPER], capture_output=True, text=True, timeout=10)
        self.assertEqual(said.returncode, 2, said.stderr)
        # Its forms: "PORT (1-65535) tcp|udp [NAME ...], or delete PORT" -> "PORT tcp|udp [NAME]", "delete PORT".
        usage = re.sub(r"\s*\([^)]*\)", "", spaced(said.stderr.split("expected", 1)[1]))
        forms = [form.strip() for form in re.split(r",? or ", re.sub(r"\[(\w+)[^]]*\]", r"[\1]", usage))]
        documented = re.findall(r"kavro-ufw-allow ([^`]*)`", spaced(catalogue.text_of(os.path.join(ROOT, "docs",
                                                                                                 "DEVELOPING.md"))))
        self.assertTrue(documented, "docs/DEVELOPING.md gives no arguments of kavro-ufw-allow")
        for arguments in documented:
            self.assertIn(spaced(arguments), forms, "docs/DEVELOPING.md: kavro-ufw-allow " + arguments)


if __name__ == "__main__":
    unittest.main()
