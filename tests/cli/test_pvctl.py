"""pvctl end to end on the virtual board: each test runs the program as a user would."""
import json
import os
import struct
import subprocess
import tempfile
import unittest

PVCTL = os.environ["PVCTL"]


def pvctl(*args, cwd=None, env=None):
    return subprocess.run([PVCTL, *args], capture_output=True, text=True, cwd=cwd,
                          env=env, timeout=120)


def png_header(path):
    """(width, height, bit depth) from a PNG file's IHDR chunk."""
    with open(path, "rb") as f:
        data = f.read(26)
    assert data[:8] == b"\x89PNG\r\n\x1a\n" and data[12:16] == b"IHDR"
    width, height, depth = struct.unpack(">IIB", data[16:25])
    return width, height, depth


class Pvctl(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_set_then_get_by_symbolic_name_number_and_double(self):
        r = pvctl("set", "FG_FORMAT=FG_GRAY16", "FG_WIDTH=0x280",
                  "FG_TRIGGER_FRAMESPERSECOND=29.5", "+", "get", "FG_FORMAT", "FG_WIDTH",
                  "FG_TRIGGER_FRAMESPERSECOND")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("FG_FORMAT = 1 (FG_GRAY16)\nFG_WIDTH = 640\n"
                      "FG_TRIGGER_FRAMESPERSECOND = 29.5\n", r.stdout)
        r = pvctl("--json", "set", "FG_FORMAT=FG_GRAY16", "+", "get", "FG_FORMAT", "FG_HAP_FILE")
        docs = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertEqual(docs[1]["FG_FORMAT"], 1)
        self.assertIsInstance(docs[1]["FG_HAP_FILE"], str)

    def test_bad_values_print_the_code_and_its_meaning(self):
        cases = [
            (["set", "FG_WIDTH=100"], 1, "error -7080: the value is not a multiple"),
            (["set", "FG_FORMAT=FG_GRAY12"], 1, "error -2070: invalid parameter"),
            (["set", "FG_TRIGGER_FRAMESPERSECOND=fast"], 1, "error -6000: value out of range"),
            (["set", "FG_APPLET_VERSION=1"], 1, "error -12:"),
            (["get", "fg_width"], 1, "did you mean FG_WIDTH?"),
            (["trigger"], 1, "error -2140: the software trigger needs the software trigger"),
            (["load", self.path("missing.mcf")], 1, "error -2076: the file cannot be opened"),
            (["set", "FG_WIDTH"], 2, "set takes NAME=VALUE"),
            (["grab", "0"], 2, "N must be a whole number from 1"),
            (["frobnicate"], 2, "no command 'frobnicate'"),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                r = pvctl(*args)
                self.assertEqual(r.returncode, status)
                self.assertIn(message, r.stderr)
        r = pvctl("--json", "set", "FG_WIDTH=100")
        self.assertEqual(json.loads(r.stdout)["error"]["code"], -7080)

    def test_session_keeps_settings_and_a_failed_chain_saves_nothing(self):
        session = self.path("session.mcf")
        self.assertEqual(pvctl("--session", session, "set", "FG_WIDTH=512").returncode, 0)
        r = pvctl("--session", session, "set", "FG_HEIGHT=100", "FG_WIDTH=7")
        self.assertEqual(r.returncode, 1)
        r = pvctl("--session", session, "get", "--value", "FG_WIDTH", "FG_HEIGHT")
        self.assertEqual(r.stdout, "512\n1024\n")
        env = dict(os.environ, PVCTL_SESSION=session)
        self.assertEqual(pvctl("get", "--value", "FG_WIDTH", env=env).stdout, "512\n")

    def test_tree_shows_live_limits_units_access_and_values(self):
        r = pvctl("set", "FG_XOFFSET=64", "+", "tree", "roi")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.splitlines()[1:4], [
            "ROI",
            '  FG_WIDTH "Width" uint32 rw 16..16320 step 8 pixel = 1024',
            '  FG_HEIGHT "Height" uint32 rw 4..65535 pixel = 1024'])
        r = pvctl("tree", "Output Format")
        self.assertIn('FG_FORMAT "Output Format" enum rw = 3 (FG_GRAY)\n'
                      '      one of FG_GRAY=3 "Gray 8bit", FG_GRAY16=1 "Gray 16bit"', r.stdout)
        tree = json.loads(pvctl("--json", "tree").stdout)
        self.assertEqual([c["category"] for c in tree][0], "Camera Link")
        debounce = pvctl("describe", "FG_TRIGGERIN_DEBOUNCE").stdout
        self.assertIn("unit      \u00b5s", debounce)

    def test_grab_three_frames_to_png(self):
        r = pvctl("--json", "set", "FG_WIDTH=320", "FG_HEIGHT=240", "+", "grab", "3",
                  "--progress", "-o", "shot", cwd=self.dir.name)
        self.assertEqual(r.returncode, 0, r.stderr)
        summary = json.loads(r.stdout.splitlines()[-1])
        self.assertEqual(summary["files"], ["shot-001.png", "shot-002.png", "shot-003.png"])
        for name in summary["files"]:
            self.assertEqual(png_header(self.path(name)), (320, 240, 8))
        self.assertIn("started it for this grab", r.stderr)
        self.assertIn("] 3/3", r.stderr)
        r = pvctl("set", "FG_FORMAT=FG_GRAY16", "FG_AREATRIGGERMODE=ATM_SOFTWARE", "+", "grab",
                  "1", cwd=self.dir.name)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(png_header(self.path("frame-001.png")), (1024, 1024, 16))

    def test_lut_save_load_show_and_config_files(self):
        lut, mcf = self.path("gamma.lut"), self.path("gamma.mcf")
        r = pvctl("set", "FG_PROCESSING_GAMMA=2", "+", "lut", "save", lut, "+", "lut", "show",
                  "0", "4", "+", "save", mcf)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("   0:    0   64   90  111\n", r.stdout)  # sqrt(i/4095) * 4095
        r = pvctl("--json", "lut", "load", lut, "+", "lut", "show", "1", "1")
        self.assertEqual(json.loads(r.stdout.splitlines()[1])["values"], [64])
        r = pvctl("--config", mcf, "get", "FG_PROCESSING_GAMMA")
        self.assertEqual(r.stdout, "FG_PROCESSING_GAMMA = 2\n")
        self.assertEqual(pvctl("lut", "show", "4096").returncode, 2)

    def test_info_describe_xml_and_software_trigger(self):
        info = json.loads(pvctl("--json", "info").stdout)
        self.assertEqual((info["applet"], info["version"]), ("Pellvane", "2.4.1.2"))
        r = pvctl("describe", "FG_WIDTH")
        self.assertIn("Image width of the acquisition ROI.", r.stdout)
        xml = self.path("pellvane.xml")
        self.assertEqual(pvctl("xml", "-o", xml).returncode, 0)
        with open(xml) as f:
            self.assertIn("RegisterDescription", f.read())
        r = pvctl("set", "FG_AREATRIGGERMODE=ATM_SOFTWARE", "FG_TRIGGERSTATE=TS_ACTIVE", "+",
                  "trigger", "3")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("sent 3 software trigger pulses", r.stdout)

    def test_every_command_explains_itself(self):
        overview = pvctl("--help").stdout
        names = [line.split()[0] for line in overview.split("Commands:\n")[1].splitlines()
                 if line.startswith("  ")]
        self.assertEqual(names, ["info", "list", "tree", "get", "set", "describe", "save",
                                 "load", "lut", "xml", "trigger", "grab", "help"])
        for name in names:
            with self.subTest(command=name):
                r = pvctl(name, "--help")
                self.assertEqual(r.returncode, 0)
                self.assertTrue(r.stdout.startswith("usage: pvctl " + name))


if __name__ == "__main__":
    unittest.main()
