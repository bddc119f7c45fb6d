#!/usr/bin/env python3
"""The module's catalogue of sentences against the module's code.

    catalogue_test.py SOURCE-ROOT"""
import glob, os, re, sys, unittest

import catalogue

ROOT = os.path.realpath(sys.argv.pop(1) if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "../.."))
MODULE = os.path.join(ROOT, "module")
ENTRIES = catalogue.read(MODULE)


class Catalogue(unittest.TestCase):
    def test_each_entry_has_a_unique_id_of_its_part_and_well_formed_values(self):
        self.assertTrue(ENTRIES, f"no sentences.def under {MODULE}")
        seen = {}
        for entry in ENTRIES:
            self.assertRegex(entry.id, f"^{catalogue.ID.pattern}$", entry.where)
            self.assertTrue(entry.id.startswith(entry.part + "-"), f"{entry.where}: {entry.id} is not {entry.part}-...")
            self.assertNotIn(entry.id, seen, f"{entry.where}: {entry.id} also at {seen.get(entry.id)}")
            seen[entry.id] = entry.where
            self.assertNotIn("\n", entry.text, entry.where)
            for at, name in catalogue.FIELD.findall(entry.text):
                self.assertRegex(at + name, r"^(@.*|[a-z]+)$", f"{entry.where}: {{{name}}}")

    def test_each_entry_is_told_or_composed(self):
        code = {path: catalogue.text_of(path) for path in glob.glob(os.path.join(MODULE, "**", "*.*"), recursive=True)
                if path.endswith((".cpp", ".h"))}
        for entry in ENTRIES:
            folder = os.path.join(MODULE, entry.part) + os.sep
            inside = re.compile(rf"\bsentence::{entry.symbol}\b")
            outside = re.compile(rf"\b{entry.part}::sentence::{entry.symbol}\b")
            used = (any((inside if path.startswith(folder) else outside).search(text) for path, text in code.items())
                    or any("{@" + entry.id + "}" in other.text for other in ENTRIES if other.part == entry.part))
            self.assertTrue(used, f"{entry.where}: {entry.symbol} ({entry.id}) is never told")


if __name__ == "__main__":
    unittest.main()
