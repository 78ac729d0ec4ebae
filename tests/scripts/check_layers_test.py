#!/usr/bin/env python3
"""scripts/check-layers on small trees of its own: a tree that keeps the table passes, and each
include below breaks one rule, which the check names with the file and the line."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

# The checker under test: the first argument, else the tree's own.
CHECKER = sys.argv.pop(1) if len(sys.argv) > 1 and not sys.argv[1].startswith('-') else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts', 'check-layers')

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
    'app/shell/main_window.ui': '<ui/>\n',
    'app/shell/instance_registry.h': '#pragma once\n',
    'app/shell/main_window.cpp': '#include "ui_main_window.h"\n#include "app/dock/codec_dock.h"\n',
    'app/dock/codec_dock.h': '#pragma once\n#include <QWidget>\n',
    'app/dock/codec_dock.cpp': '#include "app/dock/codec_dock.h"\n#include "app/shell/instance_registry.h"\n'
                               '#include "ui_main_window.h"\n',
    'tests/ipc/net/ipc_conn_test.cpp': '#include <gtest/gtest.h>\n#include "ipc/net/ipc_conn.h"\n',
    'build/default/ipc/generated.cpp': '#include "app/dock/codec_dock.h"\n',
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
]


class CheckLayers(unittest.TestCase):
    def make_tree(self):
        self.top = tempfile.mkdtemp(prefix='check-layers-')
        self.addCleanup(shutil.rmtree, self.top)
        os.makedirs(os.path.join(self.top, 'scripts'))
        shutil.copy(CHECKER, os.path.join(self.top, 'scripts', 'check-layers'))
        for path, text in CLEAN_TREE.items():
            self.write(path, text)

    def write(self, path, text):
        full = os.path.join(self.top, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'w') as f:
            f.write(text)

    def run_check(self):
        return subprocess.run([sys.executable, os.path.join(self.top, 'scripts', 'check-layers')],
                              capture_output=True, text=True, timeout=60)

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

    def test_a_source_outside_every_room_fails(self):
        self.make_tree()
        self.write('ipc/stray.cpp', '#include "ipc/net/ipc_conn.h"\n')
        result = self.run_check()
        self.assertEqual(result.returncode, 1)
        self.assertIn('ipc/stray.cpp: is in no room of the table', result.stdout)


if __name__ == '__main__':
    unittest.main()
