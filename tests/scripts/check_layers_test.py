#!/usr/bin/env python3
"""scripts/check-layers on small trees of its own: a tree that keeps the table passes, and each
include, form header or copy of the table below breaks one rule, which the check names with the
file and the line."""
import unittest

from script_tree import ScriptTreeTest, script_under_test

CHECKER = script_under_test('check-layers')

# A tree that keeps every rule: each file includes what its room may.
CLEAN_TREE = {
    'platform/socket_ops.h': '#pragma once\n#include <sys/socket.h>\n',
    'ipc/base/logger.h': '#pragma once\n#include <QString>\n#include "platform/socket_ops.h"\n',
    'ipc/net/ipc_conn.cpp': '#include "ipc/net/ipc_conn.h"\n\n#include "ipc/base/logger.h"\n',
    'ipc/net/ipc_conn.h': '#pragma once\n',
    'ipc/protocols/ipc_protocol_xmls.cpp': '#include "ipc/net/ipc_conn.h"\n',
    'sessions/ipc_object.h': '#pragma once\n#include <QObject>\n#include "ipc/net/ipc_conn.h"\n',
    'text/codec_text.h': '#pragma once\n#include <QString>\n#include "sessions/ipc_object.h"\n',
    'dialogs/add_entry.cpp': '#include "text/codec_text.h"\n#include <QDialog>\n',
    'app/shared/codec_text.h': '#pragma once\n#include <QLabel>\n#include "text/codec_text.h"\n',
    'app/shell/main_window.ui': '<ui>\n<customwidgets>\n <customwidget>\n  <header>app/fleet/zorva_summary.h</header>\n'
                                '  <header>app/shared/codec_text.h</header>\n </customwidget>\n</customwidgets>\n</ui>\n',
    'app/fleet/zorva_summary.h': '#pragma once\n#include <QWidget>\n',
    'app/shell/instance_registry.h': '#pragma once\n',
    'app/shell/main_window.cpp': '#include "ui_main_window.h"\n#include "app/dock/codec_dock.h"\n',
    'app/dock/codec_dock.h': '#pragma once\n#include <QWidget>\n',
    'app/dock/codec_dock.cpp': '#include "app/dock/codec_dock.h"\n#include "app/shell/instance_registry.h"\n'
                               '#include "ui_main_window.h"\n',
    'tests/ipc/net/ipc_conn_test.cpp': '#include <gtest/gtest.h>\n#include "ipc/net/ipc_conn.h"\n',
    'build/default/ipc/generated.cpp': '#include "app/dock/codec_dock.h"\n',
    # The copies of the table, which make_tree fills with --write-table.
    'README.md': '# The tree\n\n<!-- written by scripts/check-layers --write-table -->\n<!-- end of the table of rooms -->\n',
    'app/CMakeLists.txt': '# -- written by scripts/check-layers --write-table --\n# -- end of the table of rooms --\n',
    'ipc/CMakeLists.txt': '# -- written by scripts/check-layers --write-table --\n# -- end of the table of rooms --\n',
}

# (file, its second line, what the check says of it after "file:2: #include ...")
BROKEN_CASES = [
    ('ipc/net/ipc_conn.cpp', '#include "ipc/protocols/ipc_protocol_xmls.h"',
     ' (room ipc/protocols): room ipc/net may include only ipc/net, ipc/message, ipc/base, platform'),
    ('ipc/base/logger.h', '#include "ipc/net/ipc_conn.h"',
     ' (room ipc/net): room ipc/base may include only ipc/base, platform'),
    ('ipc/net/ipc_conn.cpp', '#include "sessions/ipc_object.h"',
     ' (room sessions): room ipc/net may include only ipc/net, ipc/message, ipc/base, platform'),
    ('ipc/net/ipc_conn.cpp', '#include <QDialog>', ': a Qt Widgets header, and ipc/net/ uses no Widgets'),
    ('sessions/ipc_object.h', '#include <QtWidgets/QLabel>',
     ': a Qt Widgets header, and sessions/ uses no Widgets'),
    ('sessions/ipc_object.h', '#include "ui_main_window.h"', ': a form, and sessions/ uses no Widgets'),
    ('platform/socket_ops.h', '#include "ipc/base/logger.h"',
     ' (room ipc/base): room platform may include only platform'),
    # The texts the views and the dialogs share climb to neither, and the views' shared room stands
    # on them rather than on the dialogs.
    ('text/codec_text.h', '#include "dialogs/message_box.h"',
     ' (room dialogs): room text may include only text, sessions, ipc, platform'),
    ('text/codec_text.h', '#include <QLabel>', ': a Qt Widgets header, and text/ uses no Widgets'),
    ('app/shared/codec_text.h', '#include "dialogs/add_entry.h"',
     ' (room dialogs): room app/shared may include only app/shared, text, sessions, ipc, platform'),
    ('dialogs/add_entry.cpp', '#include "scheduler/job.h"',
     ' (room scheduler): room dialogs may include only dialogs, text, sessions, ipc, platform'),
    # The door is the dock's alone, and one header wide.
    ('app/tunnel/grapher.cpp', '#include "app/shell/instance_registry.h"',
     ' (room app/shell): room app/tunnel may include only app/tunnel, app/shared'),
    ('app/dock/codec_dock.cpp', '#include "app/shell/main_window.h"',
     ' (room app/shell): room app/dock may include only app/dock, app/tunnel, app/shared'),
    ('app/fleet/zorva_summary.cpp', '#include "ui_main_window.h"',
     ' (room app/shell): room app/fleet may include only app/fleet, app/shared'),
    ('tests/ipc/net/ipc_conn_test.cpp', '#include "sessions/ipc_object.h"',
     ' (room sessions): room tests/ipc may include only tests/ipc, ipc, platform, tests/support'),
    ('ipc/net/ipc_conn.cpp', '#include "ipc/ipc_conn.h"', ': a header in no room of the table'),
    # Every suffix a C++ source or header may have is read.
    ('ipc/base/logger.inl', '#include "sessions/ipc_object.h"',
     ' (room sessions): room ipc/base may include only ipc/base, platform'),
    ('ipc/net/ipc_conn.ipp', '#include "ipc/protocols/ipc_protocol_xmls.h"',
     ' (room ipc/protocols): room ipc/net may include only ipc/net, ipc/message, ipc/base, platform'),
    ('sessions/ipc_object.tpp', '#include <QWidget>', ': a Qt Widgets header, and sessions/ uses no Widgets'),
    ('text/codec_text.hh', '#include "dialogs/message_box.h"',
     ' (room dialogs): room text may include only text, sessions, ipc, platform'),
    ('dialogs/add_entry.cxx', '#include "scheduler/job.h"',
     ' (room scheduler): room dialogs may include only dialogs, text, sessions, ipc, platform'),
]

MAIN_FORM = CLEAN_TREE['app/shell/main_window.ui']

# (form, its text, the line the check prints): a custom widget's <header> is an include of the
# form's room, and of every room that includes the form's ui_*.h.
FORM_CASES = [
    ('dialogs/add_entry.ui', '<ui>\n <header>app/shell/main_window.h</header>\n</ui>\n',
     'dialogs/add_entry.ui:2: #include "app/shell/main_window.h" (room app/shell): '
     'room dialogs may include only dialogs, text, sessions, ipc, platform'),
    ('app/shared/meter.ui', '<ui>\n <header location="global">app/fleet/zorva_summary.h</header>\n</ui>\n',
     'app/shared/meter.ui:2: #include <app/fleet/zorva_summary.h> (room app/fleet): '
     'room app/shared may include only app/shared, text, sessions, ipc, platform'),
    ('dialogs/add_entry.ui', '<ui>\n <header>text/codec_text.h</header><header>scheduler/job.h</header>\n</ui>\n',
     'dialogs/add_entry.ui:2: #include "scheduler/job.h" (room scheduler): '
     'room dialogs may include only dialogs, text, sessions, ipc, platform'),
    # The shell may use the fleet's tiles, but the dock, which reads the shell's form through its
    # door, may not, and the door names only the summary.
    ('app/shell/main_window.ui', MAIN_FORM.replace('</customwidget>', '<header>app/fleet/instance_widget.h</header>'
                                                   '</customwidget>'),
     'app/dock/codec_dock.cpp:3: #include "ui_main_window.h", which brings app/fleet/instance_widget.h '
     '(room app/fleet, named at app/shell/main_window.ui:6): room app/dock may include only app/dock, '
     'app/tunnel, app/shared'),
    # A door names no more than its form brings past the wall.
    ('app/shell/main_window.ui', MAIN_FORM.replace('app/fleet/zorva_summary.h', 'app/tunnel/grapher.h'),
     'scripts/check-layers: the door of app/dock to ui_main_window.h lists app/fleet/zorva_summary.h, which '
     'the form does not bring past the wall'),
]


class CheckLayers(ScriptTreeTest):
    def make_tree(self):
        self.make_script_tree(CHECKER, 'check-layers')
        for path, text in CLEAN_TREE.items():
            self.write(path, text)
        self.assertEqual(self.run_check('--write-table').returncode, 0)

    def run_check(self, *arguments):
        return self.run_script(*arguments)

    def assert_fails_with(self, line):
        result = self.run_check()
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertIn(line, result.stdout.splitlines()[:-1], result.stdout)

    def test_a_tree_that_keeps_the_table_passes(self):
        self.make_tree()
        result = self.run_check()
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertIn('every include follows the table', result.stdout)

    def test_each_broken_rule_is_named_with_file_and_line(self):
        for path, include, rule in BROKEN_CASES:
            with self.subTest(path=path, include=include):
                self.make_tree()
                first, _, rest = CLEAN_TREE.get(path, '// new\n').partition('\n')
                self.write(path, first + '\n' + include + '\n' + rest)
                result = self.run_check()
                self.assertEqual(result.returncode, 1, result.stdout)
                named = [line for line in result.stdout.splitlines() if line.startswith(path + ':')]
                self.assertEqual(len(named), 1, result.stdout)
                self.assertTrue(named[0].startswith('%s:2: %s%s' % (path, include, rule)), named[0])

    def test_each_form_header_is_an_include_of_the_rooms_that_read_the_form(self):
        for path, text, line in FORM_CASES:
            with self.subTest(path=path, line=line):
                self.make_tree()
                self.write(path, text)
                result = self.run_check()
                self.assertEqual(result.returncode, 1, result.stdout)
                named = result.stdout.splitlines()[:-1]  # the last line counts them
                self.assertEqual(len(named), 1, result.stdout)
                self.assertTrue(named[0].startswith(line), named[0])

    def test_the_copies_of_the_table_are_written_from_it_and_checked_against_it(self):
        self.make_tree()
        readme = self.read('README.md')
        self.assertIn('door: app/dock may include ui_main_window.h, which brings app/fleet/zorva_summary.h', readme)
        self.assertIn('#   app/shared       may include text, sessions, ipc, platform\n', self.read('app/CMakeLists.txt'))
        self.assertNotIn('sessions', self.read('ipc/CMakeLists.txt'))
        edited = readme.replace('sessions         may include ipc, platform',
                                'sessions         may include ipc, platform, app')
        self.write('README.md', edited)
        line = 1 + edited.splitlines().index('sessions         may include ipc, platform, app; no Widgets')
        self.assert_fails_with('README.md:%d: the table of rooms differs from scripts/check-layers; '
                               'scripts/check-layers --write-table writes it' % line)
        self.assertEqual(self.run_check('--write-table').returncode, 0)
        self.assertEqual(self.read('README.md'), readme)
        self.write('ipc/CMakeLists.txt', '# the rooms of ipc/\n')
        self.assert_fails_with('ipc/CMakeLists.txt: holds no table of rooms between a line saying '
                               '"written by scripts/check-layers --write-table" and one saying '
                               '"end of the table of rooms"')

    def test_a_source_outside_every_room_fails(self):
        self.make_tree()
        self.write('ipc/stray.cpp', '#include "ipc/net/ipc_conn.h"\n')
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn('ipc/stray.cpp: is in no room of the table', result.stdout)


if __name__ == '__main__':
    unittest.main()
