#!/usr/bin/env python3
"""scripts/check-format on small git trees of its own, with the tree's own .clang-format: a file as
clang-format writes it passes, and a misformatted line fails, named with its file and line, what
clang-format writes there, and the command that formats the file."""
import os
import shutil
import stat
import subprocess
import unittest

from script_tree import ScriptTreeTest, script_under_test

CHECKER = script_under_test('check-format')
STYLE = os.path.join(os.path.dirname(os.path.abspath(CHECKER)), '..', '.clang-format')

FORMATTED = ('#include <QString>\n#include <vector>\n\n'
             'int twice(int value) {\n    return value * 2;  // no overflow check: values are levels\n}\n')

# (a part of FORMATTED, misformatted; the line the check names; a line it prints as the file has it,
# and one as clang-format writes it)
COMMENT = '  // no overflow check: values are levels'
MISFORMATTED = [
    ('int twice(int value) {', 'int twice(int value){', 4, 'int twice(int value){', 'int twice(int value) {'),
    ('    return value * 2;  //', '  return value*2; //', 5, '  return value*2; ' + COMMENT.strip(),
     '    return value * 2;' + COMMENT),
    ('#include <QString>\n#include <vector>', '#include <vector>\n#include <QString>', 1, '#include <QString>',
     '#include <QString>'),
    ('levels\n', 'levels   \n', 5, '    return value * 2;' + COMMENT + '   <- blanks at the end',
     '    return value * 2;' + COMMENT),
    ('    return', '\treturn', 5, '\treturn value * 2;' + COMMENT + '    <- has a tab', '    return value * 2;' + COMMENT),
]


class CheckFormat(ScriptTreeTest):
    def setUp(self):
        self.make_script_tree(CHECKER, 'check-format')
        shutil.copy(STYLE, os.path.join(self.top, '.clang-format'))
        subprocess.run(['git', 'init', '-q', self.top], check=True)
        self.write('.gitignore', '/build/\n')
        self.write('ipc/twice.cpp', FORMATTED)
        # Neither a C++ file nor one git knows of is checked.
        self.write('build/generated.cpp', 'int  generated ( ) {return 1;}\n')
        self.write('docs/notes.txt', 'int  notes ( ) {return 1;}\n')

    def test_a_formatted_tree_passes(self):
        self.write('ipc/twice.h', '#pragma once\n\nint twice(int value);\n')
        result = self.run_script()
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout, 'check-format: 2 C++ files follow .clang-format\n')

    def test_each_misformatted_line_is_named_with_its_file_line_and_fix(self):
        for formatted, misformatted, line, as_it_is, as_written in MISFORMATTED:
            with self.subTest(misformatted=misformatted):
                self.write('ipc/twice.cpp', FORMATTED.replace(formatted, misformatted))
                result = self.run_script()
                self.assertEqual(result.returncode, 1, result.stdout)
                printed = result.stdout.splitlines()
                self.assertEqual(printed[0], 'ipc/twice.cpp:%d: clang-format writes this otherwise:' % line)
                self.assertIn('  -' + as_it_is, printed)
                self.assertIn('  +' + as_written, printed)
                self.assertEqual(printed[-2:], [
                    '  to format it: clang-format -i ipc/twice.cpp',
                    'check-format: C++ files out of format: 1 of 1 (1 place); scripts/check-format --fix formats them'])

    def test_only_the_files_named_are_checked(self):
        self.write('ipc/other.cpp', 'int  other ( ) {return 1;}\n')
        result = self.run_script(os.path.join(self.top, 'ipc/twice.cpp'), os.path.join(self.top, 'docs/notes.txt'))
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout, 'check-format: 1 C++ files follow .clang-format\n')
        result = self.run_script(os.path.join(self.top, 'ipc/missing.cpp'))
        self.assertEqual(result.returncode, 1)
        self.assertIn('no such file', result.stdout)

    def git(self, *arguments):
        return subprocess.run(['git', '-C', self.top, '-c', 'user.name=t', '-c', 'user.email=t@t'] + list(arguments),
                              check=True, capture_output=True, text=True).stdout.strip()

    def commit(self, message):
        self.git('add', '-A')
        self.git('commit', '-qm', message, '--no-verify')

    def changed_fails_on(self, *files):
        """The first line --changed prints, having failed on `files` and no others."""
        result = self.run_script('--changed')
        self.assertEqual(result.returncode, 1, result.stdout)
        self.assertEqual([line for line in result.stdout.splitlines() if line.startswith('  to format')],
                         ['  to format it: clang-format -i ' + path for path in files])
        return result.stdout.splitlines()[0]

    def test_changed_compares_with_a_commit_the_checks_passed_on_never_with_local_main(self):
        self.commit('formatted')
        self.git('branch', '-qM', 'main')
        # A slip committed on main itself: with nothing checked yet, every file is.
        self.write('ipc/slip.cpp', 'int  slip ( ) {return 1;}\n')
        self.commit('slip on main')
        self.assertEqual(self.changed_fails_on('ipc/slip.cpp'),
                         'check-format: no upstream main and no commit the checks passed on here: checking every file')
        # Mended and committed: that commit passes, and is what the next slip is compared with.
        self.write('ipc/slip.cpp', 'int slip() {\n    return 1;\n}\n')
        self.commit('mend the slip')
        self.assertEqual(self.run_script('--changed').returncode, 0)
        passed = self.git('rev-parse', '--short=10', 'HEAD')
        self.write('ipc/twice.cpp', FORMATTED.replace('    return', '  return'))
        self.commit('another slip on main')
        self.assertEqual(self.changed_fails_on('ipc/twice.cpp'),
                         'check-format: comparing with %s, the last commit the checks passed on here' % passed)

    def test_changed_checks_what_the_branch_changed_since_it_left_the_upstreams_main(self):
        self.write('ipc/old.cpp', 'int  old ( ) {return 1;}\n')  # on the upstream's main: CI's to check
        self.commit('main')
        self.git('branch', '-qM', 'main')
        self.git('clone', '-q', self.top, self.top + '-clone')
        self.top += '-clone'
        self.addCleanup(shutil.rmtree, self.top, True)
        self.assertEqual(self.run_script('--changed').stdout,
                         'check-format: comparing with where this branch left origin/main, the upstream\'s main\n'
                         'check-format: no C++ file changed\n')
        self.write('ipc/twice.cpp', FORMATTED.replace('    return', '  return'))
        self.commit('a slip on the clone\'s main')
        self.write('ipc/new.h', 'int  added ( );\n')
        self.changed_fails_on('ipc/new.h', 'ipc/twice.cpp')
        # A new house style: every file again.
        self.write('.clang-format', self.read('.clang-format') + '\n')
        self.assertIn('every file, since .clang-format changed', self.run_script('--changed').stdout)

    def test_fix_formats_the_files_that_differ(self):
        self.write('ipc/twice.cpp', FORMATTED.replace('    return value * 2;', 'return value*2;'))
        result = self.run_script('--fix')
        self.assertEqual(result.returncode, 0, result.stdout)
        self.assertEqual(result.stdout, 'check-format: formatted ipc/twice.cpp\n')
        self.assertEqual(self.read('ipc/twice.cpp'), FORMATTED)
        self.assertEqual(self.read('build/generated.cpp'), 'int  generated ( ) {return 1;}\n')

    def test_another_clang_format_version_is_refused(self):
        self.write('bin/clang-format', '#!/bin/sh\necho "Ubuntu clang-format version 18.1.3"\n')
        os.chmod(os.path.join(self.top, 'bin/clang-format'), stat.S_IRWXU)
        result = self.run_script(env=dict(os.environ, CLANG_FORMAT=os.path.join(self.top, 'bin/clang-format')))
        self.assertEqual(result.returncode, 1)
        self.assertIn('"Ubuntu clang-format version 18.1.3", but the house style is checked with clang-format 14',
                      result.stdout)


if __name__ == '__main__':
    unittest.main()
