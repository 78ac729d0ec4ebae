#!/usr/bin/env python3
"""scripts/check-docs on small trees of its own: pages (docs/ and the README) that name only what the
tree holds pass, and each rename or move below fails with the page, the line and the name."""
import unittest

from script_tree import ScriptTreeTest, script_under_test

CHECKER = script_under_test('check-docs')

SOURCES = {
    'sessions/ipc_object.h': 'class IPCObject {\n    void levelsReported();\n    int levelReportCount() const;\n};\n',
    'sessions/ipc_object.cpp': 'void IPCObject::handle_unsolicited(const Message& m) {\n    receive_levels(m);\n}\n',
    'sessions/meter_levels.cpp': 'namespace meter_levels {\nstd::array<float, 8> levels_of(const A& a) {}\n}\n',
    'sessions/session_inbox.h': 'class SessionInbox {\n    enum class Delivery { kInOrder, kNewestOnly };\n};\n',
    'app/shared/mini_meter.cpp': 'namespace {\nvoid markAll() {}\n}  // namespace\n\nMiniMeter::MiniMeter() {}\n'
                                 'void MiniMeter::markDirty() {\n    markAll();\n}\n',
}

# Every kind of name the checker reads, each where the tree holds it.
PAGE = '''# Flows

1. `sessions/ipc_object.cpp` — `IPCObject::handle_unsolicited` calls `receive_levels()`, and
   `sessions/meter_levels.cpp` reads them (`meter_levels::levels_of`).
2. `sessions/ipc_object.h` — `IPCObject::levelsReported` and `IPCObject::levelReportCount()`, then
   `SessionInbox::Delivery::kNewestOnly` of `sessions/session_inbox.h`.
3. `app/shared/` — `MiniMeter::markDirty` and `markAll()`, named without their file, are
   looked for in every source; `QTimer::singleShot` and `std::move` are not ours.

See the [glossary](glossary.md#words) and [Qt](https://doc.qt.io/qt-5/qobject.html).

```text
`gone/file.cpp` and `Gone::function` in a code block are not read
```

The inbox is `SessionInbox` (`sessions/session_inbox.h`).
'''

# The README names classes without their files, and prefixes of class names.
README = 'The `Session` classes: `SessionInbox` carries the calls; `IQ` and `DISPLAY` are no classes.\n'

# (a name of the page, what it is renamed to, the line the check prints for it)
BROKEN_CASES = [
    ('`sessions/ipc_object.cpp` —', '`sessions/ipc_objects.cpp` —',
     'docs/flows.md:3: `sessions/ipc_objects.cpp` names no file or folder of the tree'),
    ('`app/shared/`', '`app/fleet/`', 'docs/flows.md:7: `app/fleet/` names no file or folder of the tree'),
    # Renamed: the file the hop names defines the class's members, but not this one any more.
    ('`IPCObject::handle_unsolicited`', '`IPCObject::handle_report`',
     'docs/flows.md:3: `IPCObject::handle_report` is not found in sessions/ipc_object.cpp, sessions/meter_levels.cpp'),
    # A header declares the class, but no longer this member.
    ('`IPCObject::levelsReported`', '`IPCObject::levelsShown`',
     'docs/flows.md:5: `IPCObject::levelsShown` is not found in sessions/ipc_object.h, sessions/session_inbox.h'),
    ('`meter_levels::levels_of`', '`meter_levels::levels_in`',
     'docs/flows.md:4: `meter_levels::levels_in` is not found in sessions/ipc_object.cpp, sessions/meter_levels.cpp'),
    ('`receive_levels()`', '`take_levels()`', 'docs/flows.md:3: `take_levels()` is found in no source of the tree'),
    # Named without its file: found nowhere once renamed.
    ('`MiniMeter::markDirty`', '`MiniMeter::markStale`',
     'docs/flows.md:7: `MiniMeter::markStale` is found in no source of the tree'),
    ('(glossary.md#words)', '(glossaries.md#words)',
     'docs/flows.md:10: the link to glossaries.md#words leads to nothing in the tree'),
    # Placed in a file that does not hold it.
    ('(`sessions/session_inbox.h`).', '(`sessions/ipc_object.h`).',
     'docs/flows.md:16: `SessionInbox` is not in sessions/ipc_object.h (defined in sessions/session_inbox.h)'),
    # A class renamed away that only the README names.
    ('`SessionInbox` carries', '`SessionQueue` carries', 'README.md:1: `SessionQueue` is a class the tree does not define'),
]


class CheckDocs(ScriptTreeTest):
    def make_tree(self, page, readme=README):
        self.make_script_tree(CHECKER, 'check-docs')
        pages = {'docs/flows.md': page, 'docs/glossary.md': '# Glossary\n', 'README.md': readme}
        for path, text in dict(SOURCES, **pages).items():
            self.write(path, text)

    def test_a_page_naming_only_what_the_tree_holds_passes(self):
        self.make_tree(PAGE)
        result = self.run_script()
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout, 'check-docs: 3 pages name 7 paths, 8 functions and 4 classes, all in the tree\n')

    def test_each_rename_is_named_with_page_and_line(self):
        for old, new, line in BROKEN_CASES:
            with self.subTest(line=line):
                self.assertEqual((PAGE + README).count(old), 1, old)
                self.make_tree(PAGE.replace(old, new), README.replace(old, new))
                result = self.run_script()
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertEqual(result.stdout.splitlines(),
                                 [line, 'check-docs: 1 names in the Markdown pages that the tree does not hold'])


if __name__ == '__main__':
    unittest.main()
