"""The user guide's examples, run as they stand: every `$` line of docs/user-guide.md is a
command, the lines under it its output. In the section "Examples" the output must match
exactly; elsewhere measured numbers (times, rates, counts) may differ. A line "..." stands for
any number of lines. The files the examples name are made first, as the guide describes them."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest

GUIDE = os.path.join(os.path.dirname(__file__), "..", "..", "docs", "user-guide.md")
PVCTL = os.environ["PVCTL"]
NUMBER = re.compile(r"\d+(?:\.\d+)?")


def examples():
    """(section, command, expected lines) for every example of the guide."""
    out, section, current = [], "", None
    with open(GUIDE, encoding="utf-8") as f:
        for line in f.read().splitlines():
            if line.startswith("### "):
                section = line[4:]
            if line.startswith("    $ "):
                current = (section, line[6:], [])
                out.append(current)
            elif current is not None and line.startswith("    ") and line.strip():
                current[2].append(line[4:])
            else:
                current = None
    return out


def pattern(expected, exact):
    parts = []
    for line in expected:
        if line == "...":
            parts.append(r"(?:[^\n]*\n)*?")
            continue
        if exact:
            parts.append(re.escape(line) + r"\n")
        else:
            pieces = NUMBER.split(line)
            parts.append(r"\d+(?:\.\d+)?".join(re.escape(p) for p in pieces) + r"\n")
    return re.compile("".join(parts), re.S)


class Guide(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.env = dict(os.environ)
        self.env["PATH"] = os.path.dirname(PVCTL) + os.pathsep + self.env["PATH"]
        # The broken configuration of "Checking configuration and lookup-table files".
        self.run_shell("pvctl save good.mcf")
        with open(os.path.join(self.dir.name, "good.mcf")) as f:
            good = f.read()
        bad = (good.replace("FG_WIDTH=1024;", "FG_WIDTH=13;")
               .replace("FG_HEIGHT=1024;", "FG_HEIGHT=abc;")
               .replace("FG_FORMAT=3;", "FG_FORMAT=7;")
               .replace("FG_TRIGGER_FRAMESPERSECOND=8;", "FG_TRIGGER_FRAMESPERSECOND=250;")
               + "FG_FOO=1;\nFG_WIDTH=64;\n")
        with open(os.path.join(self.dir.name, "bad.mcf"), "w") as f:
            f.write(bad)

    def run_shell(self, command):
        return subprocess.run(["bash", "-c", command], cwd=self.dir.name, env=self.env,
                              stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True,
                              encoding="utf-8", timeout=120)

    def test_every_example_gives_what_the_guide_shows(self):
        found = examples()
        self.assertGreater(len(found), 15)
        status = 0
        for section, command, expected in found:
            with self.subTest(command=command):
                if command == "echo $?":
                    self.assertEqual(expected, [str(status)])
                    continue
                if "| jq" in command and shutil.which("jq") is None:
                    continue
                r = self.run_shell(command)
                status = r.returncode
                self.assertRegex(r.stdout, pattern(expected, section == "Examples"))
                self.assertTrue(pattern(expected, section == "Examples").fullmatch(r.stdout),
                                "\n--- the guide:\n%s\n--- pvctl:\n%s" % ("\n".join(expected),
                                                                          r.stdout))


if __name__ == "__main__":
    unittest.main()
