#!/usr/bin/env python3
"""scripts/render-docs on small trees of its own: each drawing's SVG is stamped with its source, and
--check, which needs no Graphviz, fails on an SVG that is missing or made from another source. The
rendering itself runs a stand-in for Graphviz's dot, so that the test needs no Graphviz either."""
import os
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest

# The script under test: the first argument, else the tree's own.
SCRIPT = sys.argv.pop(1) if len(sys.argv) > 1 and not sys.argv[1].startswith('-') else os.path.join(
    os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts', 'render-docs')

# Stands in for dot -Tsvg: an SVG that carries the source's first line, as dot's carries its title.
FAKE_DOT = '''#!/bin/sh
printf '<?xml version="1.0"?>\\n<svg><!-- %s --></svg>\\n' "$(head -n 1 "$2")"
'''


class RenderDocs(unittest.TestCase):
    def setUp(self):
        self.top = tempfile.mkdtemp(prefix='render-docs-')
        self.addCleanup(shutil.rmtree, self.top)
        os.makedirs(os.path.join(self.top, 'scripts'))
        shutil.copy(SCRIPT, os.path.join(self.top, 'scripts', 'render-docs'))
        self.bin = os.path.join(self.top, 'bin')
        self.write('bin/dot', FAKE_DOT)
        os.chmod(os.path.join(self.bin, 'dot'), stat.S_IRWXU)
        self.write('docs/threads.dot', 'digraph threads { a -> b }\n')
        self.write('docs/rooms/rooms.dot', 'digraph rooms { c -> d }\n')

    def write(self, path, text):
        full = os.path.join(self.top, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'w') as f:
            f.write(text)

    def read(self, path):
        with open(os.path.join(self.top, path)) as f:
            return f.read()

    def run_script(self, *arguments, path=None):
        environment = dict(os.environ, PATH=path if path is not None else self.bin + os.pathsep + os.environ['PATH'])
        return subprocess.run([sys.executable, os.path.join(self.top, 'scripts', 'render-docs')] + list(arguments),
                              capture_output=True, text=True, timeout=60, env=environment)

    def test_each_drawing_is_rendered_beside_its_source_with_its_stamp(self):
        self.assertEqual(self.run_script().returncode, 0)
        svg = self.read('docs/threads.svg').splitlines()
        self.assertEqual(svg[0], '<?xml version="1.0"?>')
        self.assertRegex(svg[1], r'^<!-- made by scripts/render-docs from threads\.dot, sha256 [0-9a-f]{64} -->$')
        self.assertEqual(svg[2], '<svg><!-- digraph threads { a -> b } --></svg>')
        self.assertIn('digraph rooms', self.read('docs/rooms/rooms.svg'))
        self.assertEqual(self.run_script('--check').returncode, 0)

    def test_check_names_each_svg_not_made_from_its_source_as_it_is_now(self):
        self.assertEqual(self.run_script().returncode, 0)
        rendered = self.read('docs/threads.svg')
        # (what changes, the line --check prints)
        cases = [
            (lambda: self.write('docs/threads.dot', 'digraph threads { a -> c }\n'),
             'docs/threads.svg: not made from threads.dot as it is now; run scripts/render-docs'),
            (lambda: self.write('docs/threads.svg', rendered.replace('threads.dot', 'rooms.dot')),
             'docs/threads.svg: not made from threads.dot as it is now; run scripts/render-docs'),
            (lambda: self.write('docs/threads.svg', '<svg/>\n'),
             'docs/threads.svg: not made from threads.dot as it is now; run scripts/render-docs'),
            (lambda: os.remove(os.path.join(self.top, 'docs/threads.svg')),
             'docs/threads.svg: missing; scripts/render-docs makes it from threads.dot'),
        ]
        for change, line in cases:
            with self.subTest(line=line):
                self.write('docs/threads.dot', 'digraph threads { a -> b }\n')
                self.write('docs/threads.svg', rendered)
                change()
                result = self.run_script('--check', path='/nonexistent')
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertEqual(result.stdout.splitlines(), [line])

    def test_rendering_without_graphviz_says_how_to_get_it(self):
        result = self.run_script(path='/nonexistent')
        self.assertEqual(result.returncode, 2)
        self.assertIn('apt-get install graphviz', result.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.top, 'docs/threads.svg')))


if __name__ == '__main__':
    unittest.main()
