#!/usr/bin/env python3
"""scripts/render-docs on small trees of its own: each drawing's SVG is stamped with its source, and
--check, which needs no Graphviz, fails on an SVG that is missing or made from another source. The
rendering itself runs a stand-in for Graphviz's dot, so that the test needs no Graphviz either."""
import os
import stat
import unittest

from script_tree import ScriptTreeTest, script_under_test

SCRIPT = script_under_test('render-docs')

# Stands in for dot -Tsvg: an SVG that carries the source's first line, as dot's carries its title.
FAKE_DOT = '''#!/bin/sh
printf '<?xml version="1.0"?>\\n<svg><!-- %s --></svg>\\n' "$(head -n 1 "$2")"
'''


class RenderDocs(ScriptTreeTest):
    def setUp(self):
        self.make_script_tree(SCRIPT, 'render-docs')
        self.bin = os.path.join(self.top, 'bin')
        self.write('bin/dot', FAKE_DOT)
        os.chmod(os.path.join(self.bin, 'dot'), stat.S_IRWXU)
        self.write('docs/threads.dot', 'digraph threads { a -> b }\n')
        self.write('docs/rooms/rooms.dot', 'digraph rooms { c -> d }\n')

    def run_with_path(self, *arguments, path=None):
        """Runs the script with the stand-in dot first on PATH, or with `path` as the whole PATH."""
        search_path = path if path is not None else self.bin + os.pathsep + os.environ['PATH']
        return self.run_script(*arguments, env=dict(os.environ, PATH=search_path))

    def test_each_drawing_is_rendered_beside_its_source_with_its_stamp(self):
        self.assertEqual(self.run_with_path().returncode, 0)
        svg = self.read('docs/threads.svg').splitlines()
        self.assertEqual(svg[0], '<?xml version="1.0"?>')
        self.assertRegex(svg[1], r'^<!-- made by scripts/render-docs from threads\.dot, sha256 [0-9a-f]{64} -->$')
        self.assertEqual(svg[2], '<svg><!-- digraph threads { a -> b } --></svg>')
        self.assertIn('digraph rooms', self.read('docs/rooms/rooms.svg'))
        self.assertEqual(self.run_with_path('--check').returncode, 0)

    def test_check_names_each_svg_not_made_from_its_source_as_it_is_now(self):
        self.assertEqual(self.run_with_path().returncode, 0)
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
                result = self.run_with_path('--check', path='/nonexistent')
                self.assertEqual(result.returncode, 1, result.stdout)
                self.assertEqual(result.stdout.splitlines(), [line])

    def test_rendering_without_graphviz_says_how_to_get_it(self):
        result = self.run_with_path(path='/nonexistent')
        self.assertEqual(result.returncode, 2)
        self.assertIn('apt-get install graphviz', result.stdout)
        self.assertFalse(os.path.exists(os.path.join(self.top, 'docs/threads.svg')))


if __name__ == '__main__':
    unittest.main()
