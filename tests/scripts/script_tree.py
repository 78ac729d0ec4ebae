"""What the tests of scripts/ share: the script under test, and a small tree of their own to run a
copy of it in, so that each case breaks one thing where the real tree stays untouched."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest


def give_up_after(seconds):
    """A give-up deadline scaled by the suite's factor, as tests/support/deadline_factor.h reads it."""
    factor = os.environ.get('KESTRANE_TEST_DEADLINE_FACTOR', '')
    return seconds * (int(factor) if factor.isdigit() and 1 <= int(factor) <= 100 else 1)


def script_under_test(name):
    """The script the command line names (ctest passes the tree's own), else the tree's own."""
    if len(sys.argv) > 1 and not sys.argv[1].startswith('-'):
        return sys.argv.pop(1)
    return os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'scripts', name)


class ScriptTreeTest(unittest.TestCase):
    """A test that runs a copy of a script at scripts/<name> of a temporary tree, removed after it."""

    def make_script_tree(self, script, name):
        self.top = tempfile.mkdtemp(prefix=name + '-')
        self.addCleanup(shutil.rmtree, self.top)
        self.script_name = name
        os.makedirs(os.path.join(self.top, 'scripts'))
        shutil.copy(script, os.path.join(self.top, 'scripts', name))

    def read(self, path):
        with open(os.path.join(self.top, path)) as f:
            return f.read()

    def write(self, path, text):
        full = os.path.join(self.top, path)
        os.makedirs(os.path.dirname(full), exist_ok=True)
        with open(full, 'w') as f:
            f.write(text)

    def run_script(self, *arguments, env=None):
        return subprocess.run([sys.executable, os.path.join(self.top, 'scripts', self.script_name)] + list(arguments),
                              capture_output=True, text=True, timeout=give_up_after(60), env=env)
