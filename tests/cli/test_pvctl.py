"""pvctl end to end on the virtual board: each test runs the program as a user would.

PVCTL is the command that starts pvctl: its path, or (for the Windows build) the Wine runner
followed by pvctl.exe. Tests that need a POSIX signal are left out under Wine."""
import json
import os
import shlex
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

PVCTL = shlex.split(os.environ["PVCTL"])
UNDER_WINE = os.environ.get("PVCTL_UNDER_WINE") == "1"


def pvctl(*args, cwd=None, env=None, timeout=120):
    return subprocess.run([*PVCTL, *args], capture_output=True, text=True, cwd=cwd,
                          env=env, timeout=timeout, encoding="utf-8", errors="replace")


def read_png(path):
    """(width, height, bit depth, rows as bytes) of a grey PNG: chunks, CRCs and filters."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n"
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        assert zlib.crc32(kind + body) & 0xFFFFFFFF == crc, kind
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth = header[:3]
    raw, bpp, stride = zlib.decompress(idat), depth // 8, width * depth // 8
    rows, previous = [], bytes(stride)
    for y in range(height):
        kind, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + previous[i]) & 0xFF
            else:
                assert kind == 0, kind
        rows.append(bytes(line))
        previous = line
    return width, height, depth, rows


def ramp_is_whole(rows, bytes_per_pixel=1):
    """The camera's test scene steps one per pixel and two per line: a picture made of two
    frames breaks that where they meet."""
    shift = 2 * bytes_per_pixel
    return all(rows[y][shift:] == rows[y + 1][:-shift] for y in range(0, len(rows) - 1, 7))


class Pvctl(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_set_then_get_by_symbolic_name_number_and_double(self):
        r = pvctl("set", "FG_FORMAT=FG_GRAY16", "FG_WIDTH=0x280",
                  "FG_TRIGGER_FRAMESPERSECOND=29.97", "+", "get", "FG_FORMAT", "FG_WIDTH",
                  "FG_TRIGGER_FRAMESPERSECOND")
        self.assertEqual(r.returncode, 0, r.stderr)
        # The applet converts the rate to a period and back: printed without the rounding.
        self.assertIn("FG_FORMAT = 1 (FG_GRAY16)\nFG_WIDTH = 640\n"
                      "FG_TRIGGER_FRAMESPERSECOND = 29.97\n", r.stdout)
        self.assertEqual(pvctl("get", "FG_TRIGGER_FRAMESPERSECOND").stdout,
                         "FG_TRIGGER_FRAMESPERSECOND = 8\n")
        r = pvctl("--json", "set", "FG_FORMAT=FG_GRAY16", "+", "get", "FG_FORMAT", "FG_HAP_FILE",
                  "FG_TRIGGER_FRAMESPERSECOND")
        docs = [json.loads(line) for line in r.stdout.splitlines()]
        self.assertEqual(docs[1]["FG_FORMAT"], 1)
        self.assertIsInstance(docs[1]["FG_HAP_FILE"], str)
        self.assertEqual(docs[1]["FG_TRIGGER_FRAMESPERSECOND"], 8.0)

    def test_errors_speak_the_users_words_and_keep_the_code(self):
        # (arguments, exit status, words that must appear, the applet's code or None)
        cases = [
            (["set", "FG_WIDTH=abc"], 2, "FG_WIDTH takes a whole number", None),
            (["set", "FG_PIXELDEPTH=8"], 1, "FG_PIXELDEPTH is read-only", -12),
            (["set", "FG_APPLET_VERSION=1"], 1, "FG_APPLET_VERSION is read-only", -12),
            (["set", "FG_WIDTH=13"], 1, "FG_WIDTH takes 16 to 16384 pixel, in steps of 8 now, "
             "not 13", -6000),
            (["set", "FG_WIDTH=100"], 1, "100 is not one of the steps", -7080),
            (["set", "FG_XOFFSET=64", "+", "set", "FG_WIDTH=16384"], 1,
             "FG_WIDTH takes 16 to 16320 pixel", -6000),
            (["set", "FG_TRIGGER_FRAMESPERSECOND=250"], 1,
             "FG_TRIGGER_PULSEFORMGEN0_WIDTH = 4000 \u00b5s must stay shorter than one "
             "generator period; at FG_TRIGGER_FRAMESPERSECOND=250 a period lasts 4000 \u00b5s",
             -2079),
            (["set", "FG_TRIGGER_PULSEFORMGEN1_WIDTH=200000"], 1,
             "at FG_TRIGGER_FRAMESPERSECOND=8 a period lasts 125000 \u00b5s", -2079),
            (["set", "FG_FORMAT=FG_GRAY12"], 2,
             "FG_FORMAT takes one of FG_GRAY=3 \"Gray 8bit\", FG_GRAY16=1", None),
            (["set", "FG_TRIGGER_FRAMESPERSECOND=fast"], 2, "takes a number such as 29.97", None),
            (["get", "fg_width"], 2, "did you mean FG_WIDTH?", None),
            (["trigger"], 1, "the software trigger needs the software trigger", -2140),
            (["load", self.path("missing.mcf")], 1, "the file cannot be opened", -2076),
            (["set", "FG_WIDTH"], 2, "set takes NAME=VALUE", None),
            (["grab", "0"], 2, "N must be a whole number from 1", None),
            (["grab", "3", "--format", "jpeg"], 2, "--format takes png, pgm, tiff or raw", None),
            (["frobnicate"], 2, "no command 'frobnicate'", None),
            (["lut", "frob"], 2, "lut takes save, load or show", None),
            (["list", "zzz"], 1, "no parameter matches 'zzz'", None),
            (["tree", "zzz"], 1, "no category or parameter matches 'zzz'", None),
            (["tree", "--raw", "zzz"], 1, "no node matches 'zzz'", None),
        ]
        for args, status, words, code in cases:
            with self.subTest(args=args):
                r = pvctl(*args)
                self.assertEqual(r.returncode, status, r.stderr)
                self.assertIn(words, r.stderr)
                if code is None:
                    self.assertNotIn("error -", r.stderr)
                else:
                    self.assertIn("error %d:" % code, r.stderr)
        r = pvctl("--json", "set", "FG_WIDTH=100")
        error = json.loads(r.stdout)["error"]
        self.assertEqual((error["code"], error["context"]), (-7080, "set FG_WIDTH=100"))
        self.assertIn("not one of the steps", error["explanation"])

    def test_the_whole_chain_is_checked_before_the_board_opens(self):
        session = self.path("chain.mcf")
        for chain in (["set", "FG_WIDTH=640", "+", "trigger", "3000"],
                      ["set", "FG_WIDTH=640", "+", "set", "FG_HEIGHT=abc"],
                      ["set", "FG_WIDTH=640", "+", "get", "NO_SUCH_PARAMETER"]):
            with self.subTest(chain=chain):
                r = pvctl("--session", session, *chain)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertEqual(r.stdout, "")  # the set did not run
                self.assertFalse(os.path.exists(session))

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
        raw = pvctl("--json", "tree", "--raw", "FG_WIDTH")
        self.assertEqual(raw.returncode, 0, raw.stderr)
        text = json.loads(raw.stdout)["raw"]
        self.assertIn("FG_WIDTH", text)
        self.assertNotIn("FG_HEIGHT", text)

    def test_grab_three_frames_to_png_into_a_new_folder(self):
        r = pvctl("--json", "set", "FG_WIDTH=320", "FG_HEIGHT=240", "+", "grab", "3",
                  "--progress", "-o", "new/folder/shot", cwd=self.dir.name)
        self.assertEqual(r.returncode, 0, r.stderr)
        summary = json.loads(r.stdout.splitlines()[-1])
        self.assertEqual(summary["files"], ["new/folder/shot-001.png", "new/folder/shot-002.png",
                                            "new/folder/shot-003.png"])
        self.assertEqual((summary["acquired"], summary["saved"], summary["lost"]), (3, 3, 0))
        pictures = [read_png(self.path(name)) for name in summary["files"]]
        for width, height, depth, rows in pictures:
            self.assertEqual((width, height, depth), (320, 240, 8))
            self.assertTrue(ramp_is_whole(rows))
        self.assertNotEqual(pictures[0][3], pictures[1][3])  # the scene moves
        self.assertIn("started it for this acquisition", r.stderr)
        self.assertIn("] 3/3", r.stderr)
        r = pvctl("set", "FG_FORMAT=FG_GRAY16", "FG_AREATRIGGERMODE=ATM_SOFTWARE", "+", "grab",
                  "1", cwd=self.dir.name)
        self.assertEqual(r.returncode, 0, r.stderr)
        width, height, depth, rows = read_png(self.path("frame-001.png"))
        self.assertEqual((width, height, depth), (1024, 1024, 16))
        self.assertTrue(ramp_is_whole(rows, 2))

    def test_grab_checks_its_folder_before_acquiring(self):
        blocker = self.path("file")
        open(blocker, "w").close()
        r = pvctl("grab", "2", "-o", os.path.join(blocker, "sub", "x"))
        self.assertEqual(r.returncode, 1)
        self.assertIn("cannot make the folder", r.stderr)
        self.assertNotIn("started it", r.stderr)  # nothing was acquired

    def test_grab_in_every_format(self):
        for fmt, name, size in (("raw", "p-001.raw", 64 * 16 * 2),
                                ("pgm", "p-001.pgm", 64 * 16 * 2 + len(b"P5\n64 16\n65535\n")),
                                ("tiff", "p-001.tif", 64 * 16 * 2 + 8 + 2 + 9 * 12 + 4)):
            with self.subTest(format=fmt):
                r = pvctl("set", "FG_WIDTH=64", "FG_HEIGHT=16", "FG_FORMAT=FG_GRAY16", "+",
                          "grab", "1", "--format", fmt, "-o", "p", cwd=self.dir.name)
                self.assertEqual(r.returncode, 0, r.stderr)
                with open(self.path(name), "rb") as f:
                    data = f.read()
                self.assertEqual(len(data), size)
                pixels = data[-64 * 16 * 2:]
                # The ramp again, in the byte order of each format: PGM big-endian, the others
                # little-endian like the machine.
                order = ">" if fmt == "pgm" else "<"
                values = struct.unpack(order + "%dH" % (64 * 16), pixels)
                self.assertEqual(values[2:64], values[64:126])
        with open(self.path("p-001.tif"), "rb") as f:
            self.assertEqual(f.read(4), b"II*\x00")

    def test_a_grab_that_cannot_keep_up_says_so_and_fails(self):
        # One slow writer (the smallest PNG) and two buffers against 200 pictures a second.
        r = pvctl("--json", "set", "FG_TRIGGER_FRAMESPERSECOND=200", "+", "grab", "60",
                  "--threads", "1", "--buffers", "2", "--png-level", "9", "-o", "slow",
                  cwd=self.dir.name)
        self.assertEqual(r.returncode, 3, r.stderr)
        s = json.loads(r.stdout.splitlines()[-1])
        self.assertEqual(s["acquired"], 60)
        self.assertGreater(s["lost"], 0)
        self.assertEqual(s["saved"] + s["lost"], 60)
        self.assertEqual(len(s["files"]), s["saved"])
        self.assertTrue(all(os.path.exists(self.path(f)) for f in s["files"]))
        self.assertIn("%d saved, %d lost" % (s["saved"], s["lost"]), r.stderr)
        self.assertIn("were overwritten before they could be saved", r.stderr)

    def test_a_thousand_megapixel_pictures_at_a_rate_it_keeps_up_with(self):
        # 50 a second: a fraction of one processor's PNG rate, even on a machine shared with
        # other work, and 256 buffers (five seconds) to ride out a stall.
        r = pvctl("--json", "set", "FG_TRIGGER_FRAMESPERSECOND=50", "+", "grab", "1000",
                  "--buffers", "256", "-o", "run/p", cwd=self.dir.name, timeout=240)
        self.assertEqual(r.returncode, 0, r.stderr)
        s = json.loads(r.stdout.splitlines()[-1])
        self.assertEqual((s["acquired"], s["saved"], s["lost"]), (1000, 1000, 0))
        self.assertEqual(len(os.listdir(self.path("run"))), 1000)
        for n in (1, 500, 1000):
            width, height, depth, rows = read_png(self.path("run/p-%04d.png" % n))
            self.assertEqual((width, height, depth), (1024, 1024, 8))
            self.assertTrue(ramp_is_whole(rows), n)

    @unittest.skipIf(UNDER_WINE or sys.platform == "win32", "POSIX signals")
    def test_ctrl_c_stops_cleanly_with_a_summary_and_valid_json(self):
        p = subprocess.Popen([*PVCTL, "--json", "grab", "1000", "-o", "int"], cwd=self.dir.name,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        time.sleep(1.5)  # about a dozen pictures at the 8 frames a second of start-up
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=30)
        self.assertEqual(p.returncode, 130, err)
        s = json.loads(out.splitlines()[-1])
        self.assertTrue(s["interrupted"])
        self.assertGreater(s["acquired"], 0)
        self.assertLess(s["acquired"], 1000)
        self.assertEqual((s["saved"], s["lost"]), (s["acquired"], 0))
        self.assertEqual(sorted(os.listdir(self.dir.name)), sorted(
            os.path.basename(f) for f in s["files"]))
        self.assertIn("interrupted after %d of 1000 pictures" % s["acquired"], err)
        p = subprocess.Popen([*PVCTL, "stream"], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                             text=True)
        time.sleep(1.5)
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=30)
        self.assertEqual(p.returncode, 130, err)
        self.assertIn("(interrupted)", out.splitlines()[-1])

    def test_stream_prints_a_line_every_second_and_a_summary(self):
        r = pvctl("set", "FG_TRIGGER_FRAMESPERSECOND=50", "+", "stream", "--seconds", "2.5")
        self.assertEqual(r.returncode, 0, r.stderr)
        lines = r.stdout.splitlines()
        seconds = [l for l in lines if "frames/s" in l and "MB/s" in l and "lost 0" in l
                   and "buffer fill" in l]
        self.assertGreaterEqual(len(seconds), 2, r.stdout)
        rate = float(seconds[1].split()[2])
        self.assertAlmostEqual(rate, 50, delta=10)
        self.assertRegex(lines[-1], r"^\d+ pictures of 1024x1024, 8 bit, in 2\.\d\d s: ")
        r = pvctl("--json", "set", "FG_TRIGGER_FRAMESPERSECOND=100", "+", "stream", "20")
        s = json.loads(r.stdout.splitlines()[-1])
        self.assertEqual((s["pictures"], s["lost"], s["interrupted"]), (20, 0, False))
        self.assertAlmostEqual(s["megabytes_per_second"], s["frames_per_second"] * 1.048576,
                               places=3)

    def test_lut_save_load_show_and_config_files(self):
        lut, mcf = self.path("gamma.lut"), self.path("gamma.mcf")
        r = pvctl("set", "FG_PROCESSING_GAMMA=2", "+", "lut", "save", lut, "+", "lut", "show",
                  "0", "4", "+", "save", mcf)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("   0:    0   64   90  111\n", r.stdout)  # sqrt(i/4095) * 4095
        r = pvctl("--json", "lut", "load", lut, "+", "lut", "show", "1", "1")
        self.assertEqual(json.loads(r.stdout.splitlines()[-1])["values"], [64])
        r = pvctl("--config", mcf, "get", "FG_PROCESSING_GAMMA")
        self.assertEqual(r.stdout, "FG_PROCESSING_GAMMA = 2\n")
        self.assertEqual(pvctl("lut", "show", "4096").returncode, 2)

    def write(self, name, text):
        with open(self.path(name), "w", newline="") as f:
            f.write(text)
        return self.path(name)

    def saved_files(self):
        mcf, lut = self.path("good.mcf"), self.path("good.lut")
        r = pvctl("save", mcf, "+", "lut", "save", lut)
        self.assertEqual(r.returncode, 0, r.stderr)
        with open(mcf) as f:
            config = f.read()
        with open(lut) as f:
            table = f.read()
        return config, table

    def test_check_finds_each_kind_of_defect_with_its_line(self):
        config, table = self.saved_files()
        lines = config.splitlines(keepends=True)
        width = next(i for i, l in enumerate(lines) if l.startswith("FG_WIDTH=")) + 1
        height = width + 1
        fps = next(i for i, l in enumerate(lines)
                   if l.startswith("FG_TRIGGER_FRAMESPERSECOND=")) + 1
        bad = (config.replace("FG_WIDTH=1024;", "FG_WIDTH=13;")
               .replace("FG_HEIGHT=1024;", "FG_HEIGHT=abc;")
               .replace("FG_TRIGGER_FRAMESPERSECOND=8;", "FG_TRIGGER_FRAMESPERSECOND=250;")
               + "FG_FOO=1;\nFG_WIDTH=64;\n")
        total = len(lines)
        files = {
            "bad.mcf": bad,
            "crlf.mcf": config.replace("\n", "\r\n"),
            "short.mcf": "".join(l for l in lines if not l.startswith("FG_DIGIO_OUTPUT")),
            "cut.lut": "".join(table.splitlines(keepends=True)[:100]),
            "hello.lut": "hello\n",
            "big.lut": table.replace("\n5,5;\n", "\n5,9999;\n"),
            "skip.lut": table.replace("\n1,1;\n", "\n"),
            "words.lut": table.replace("\n7,7;\n", "\n7,seven;\n"),
        }
        for name, text in files.items():
            self.write(name, text)
        r = pvctl("check", *[self.path(n) for n in files], self.path("good.mcf"),
                  self.path("good.lut"), self.path("none.lut"))
        self.assertEqual(r.returncode, 1, r.stderr)
        out = r.stdout.replace(self.dir.name + os.sep, "")
        expected = [
            "bad.mcf:%d: error: FG_WIDTH: FG_WIDTH takes 16 to 16384 pixel, in steps of 8 now, "
            "not 13" % width,
            "bad.mcf:%d: error: FG_HEIGHT: 'abc' is not a whole number: the applet reads it "
            "as 0" % height,
            "bad.mcf:%d: error: FG_TRIGGER_FRAMESPERSECOND: FG_TRIGGER_PULSEFORMGEN0_WIDTH"
            % fps,
            "bad.mcf:%d: warning: FG_FOO: not a parameter the applet loads" % (total + 1),
            "bad.mcf:%d: warning: FG_WIDTH: appears again: the applet takes the value of "
            "line %d" % (total + 2, width),
            # Windows reads text files with CR LF as plain lines, and so does the applet there.
            "crlf.mcf: 0 errors, 0 warnings" if UNDER_WINE else
            "crlf.mcf:1: error: AktivePort: not found, because the lines end in CR LF",
            "short.mcf: error: FG_DIGIO_OUTPUT: missing: the applet refuses the whole file",
            "cut.lut:100: error: entry 90: missing, and with it every later entry: entries "
            "90..4095 become 0",
            "hello.lut: error: nrOfElements: missing: the applet reads no entries",
            "big.lut:16: error: entry 5: 9999 is outside 0..4095",
            "skip.lut:21: error: entry 1: read from the line of entry 11",
            "words.lut:18: error: entry 7: 'seven' is not a whole number: the applet reads it "
            "as 0",
            "good.mcf: 0 errors, 0 warnings",
            "good.lut: 0 errors, 0 warnings",
            "none.lut: error: cannot be opened",
        ]
        for line in expected:
            self.assertIn(line, out)
        r = pvctl("--json", "check", self.path("bad.mcf"))
        doc = json.loads(r.stdout)
        self.assertEqual((doc["errors"], doc["warnings"]), (4, 2))
        self.assertEqual(doc["findings"][0]["line"], width)

    def test_load_checks_first_and_strict_refuses(self):
        config, _ = self.saved_files()
        bad = self.write("w13.mcf", config.replace("FG_WIDTH=1024;", "FG_WIDTH=13;"))
        r = pvctl("load", bad, "+", "get", "--value", "FG_WIDTH")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertIn("error: FG_WIDTH: FG_WIDTH takes 16 to 16384", r.stderr)
        self.assertTrue(r.stdout.endswith("13\n"))  # what the applet loads, as the check said
        r = pvctl("load", "--strict", bad, "+", "get", "FG_WIDTH")
        self.assertEqual(r.returncode, 1)
        self.assertIn("refused", r.stderr)
        self.assertEqual(r.stdout, "")
        lut = self.write("hello.lut", "hello\n")
        r = pvctl("lut", "load", "--strict", lut)
        self.assertEqual(r.returncode, 1)
        self.assertIn("nrOfElements: missing", r.stderr)

    def test_info_describe_xml_events_and_software_trigger(self):
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
        events = json.loads(pvctl("--json", "events").stdout)
        names = {e["name"]: e["mask"] for e in events}
        self.assertEqual(names["FG_OVERFLOW_CAM0"], 1)
        self.assertIn("FG_TRIGGER_INPUT7_FALLING", names)
        self.assertTrue(all(e["mask"] == 1 << e["bit"] for e in events))
        r = pvctl("events", "FG_END_OF_FRAME_CAM_PORT_0")
        self.assertEqual(r.stdout, "FG_END_OF_FRAME_CAM_PORT_0 0x%x\n"
                         % names["FG_END_OF_FRAME_CAM_PORT_0"])
        self.assertEqual(pvctl("events", "NO_SUCH_EVENT").returncode, 1)

    def test_every_command_explains_itself_the_same_way_everywhere(self):
        overview = pvctl("--help").stdout
        block = overview.split("Commands:\n")[1].split("\n\n")[0]
        names = [line[2:24].strip() for line in block.splitlines() if line.startswith("  ")]
        self.assertEqual(names, ["info", "list", "tree", "get", "set", "describe", "save",
                                 "load", "lut save", "lut load", "lut show", "check", "xml",
                                 "trigger", "events", "grab", "stream", "help"])
        man = pvctl("--man-page").stdout
        for name in names:
            with self.subTest(command=name):
                r = pvctl(*name.split(), "--help")
                self.assertEqual(r.returncode, 0)
                self.assertTrue(r.stdout.startswith("usage: pvctl " + name))
                self.assertIn(".SS pvctl " + name.replace("-", "\\-"), man)
        self.assertRegex(pvctl("--version").stdout, r"^pvctl \d+\.\d+")


class Demo(unittest.TestCase):
    DEMO = shlex.split(os.environ["PELLVANE_DEMO"])

    def test_help_a_wrong_argument_and_no_progress_bar_into_a_file(self):
        r = subprocess.run([*self.DEMO, "--help"], capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 0)
        self.assertTrue(r.stdout.startswith("usage: pellvane-demo [--help]"))
        r = subprocess.run([*self.DEMO, "--frames"], capture_output=True, text=True, timeout=60)
        self.assertEqual(r.returncode, 2)
        self.assertIn("unknown argument --frames", r.stderr)
        with tempfile.TemporaryDirectory() as d:
            r = subprocess.run(self.DEMO, capture_output=True, cwd=d, timeout=120)
            self.assertEqual(r.returncode, 0, r.stdout)
            self.assertNotIn(b"\r", r.stdout.replace(b"\r\n", b"\n"))
            self.assertIn(b"All checks passed.", r.stdout)


@unittest.skipIf(UNDER_WINE or sys.platform == "win32", "bash completion is for bash")
class Completion(unittest.TestCase):
    def complete(self, line):
        script = pvctl("--bash-completion").stdout
        words = line.split(" ")
        program = (script + "\nCOMP_WORDS=(%s)\nCOMP_CWORD=%d\n_pvctl\n"
                   "printf '%%s\\n' \"${COMPREPLY[@]}\"\n"
                   % (" ".join(shlex.quote(w) for w in words), len(words) - 1))
        r = subprocess.run(["bash", "-c", program], capture_output=True, text=True)
        self.assertEqual(r.returncode, 0, r.stderr)
        return r.stdout.split()

    def test_commands_options_and_values_complete(self):
        self.assertEqual(self.complete("pvctl gr"), ["grab"])
        self.assertEqual(self.complete("pvctl lut l"), ["load"])
        self.assertIn("--buffers", self.complete("pvctl set FG_WIDTH=64 + grab 3 --b"))
        self.assertEqual(sorted(self.complete("pvctl grab 3 --format t")), ["tiff"])
        self.assertIn("--session", self.complete("pvctl --s"))


if __name__ == "__main__":
    unittest.main()
