"""The pellvane Python module end to end on the virtual board."""
import os
import subprocess
import sys
import tempfile
import unittest
import warnings
import zlib

import pellvane

try:
    import numpy
except ImportError:
    numpy = None


class PythonModule(unittest.TestCase):
    def setUp(self):
        self.board = pellvane.Board()
        self.addCleanup(self.board.close)

    def test_set_then_get_with_python_types(self):
        b = self.board
        b.set("FG_FORMAT", "FG_GRAY16")
        b.set("FG_WIDTH", 640)
        b.set("FG_TRIGGER_FRAMESPERSECOND", 12.5)
        self.assertEqual((b.get("FG_FORMAT"), b.get("FG_WIDTH")), (1, 640))
        self.assertEqual(b.get("FG_TRIGGER_FRAMESPERSECOND"), 12.5)
        self.assertIsInstance(b.get("FG_HAP_FILE"), str)
        self.assertEqual(b.symbol("TS_SYNC_STOP"), 2)
        self.assertEqual(b.info()["applet"], "Pellvane")
        self.assertEqual(b.describe("FG_WIDTH"), "Image width of the acquisition ROI.")

    def test_bad_values_raise_with_code_and_meaning(self):
        cases = [("FG_WIDTH", 100, -7080), ("FG_FORMAT", "FG_GRAY12", -2070),
                 ("FG_WIDTH", -8, -6000), ("NO_SUCH_PARAMETER", 1, -2070)]
        for name, value, code in cases:
            with self.subTest(name=name, value=value):
                with self.assertRaises(pellvane.PellvaneError) as e:
                    self.board.set(name, value)
                self.assertEqual(e.exception.code, code)
                self.assertIn(e.exception.message, str(e.exception))
        self.assertEqual(self.board.get("FG_WIDTH"), 1024)

    def test_tree_and_live_limits(self):
        self.board.set("FG_XOFFSET", 64)
        roi = next(c for c in self.board.tree() if c["category"] == "ROI")
        width = roi["children"][0]
        self.assertEqual((width["name"], width["min"], width["max"], width["inc"]),
                         ("FG_WIDTH", 16, 16320, 8))
        self.assertEqual((width["unit"], width["value"], width["access"]), ("pixel", 1024, "rw"))
        fmt = self.board.limits("FG_FORMAT")
        self.assertEqual(fmt["entries"], [{"symbol": "FG_GRAY", "value": 3, "display": "Gray 8bit"},
                                          {"symbol": "FG_GRAY16", "value": 1,
                                           "display": "Gray 16bit"}])
        self.assertEqual(self.board.limits("FG_TRIGGERIN_DEBOUNCE")["unit"], "\u00b5s")

    def test_configuration_and_lookup_table_files(self):
        with tempfile.TemporaryDirectory() as d:
            mcf, lut = os.path.join(d, "a.mcf"), os.path.join(d, "a.lut")
            self.board.set("FG_HEIGHT", 480)
            self.board.set("FG_PROCESSING_INVERT", "FG_ON")
            self.board.save_config(mcf)
            self.board.save_lut(lut)
            with pellvane.Board() as other:
                other.load_config(mcf)
                self.assertEqual(other.get("FG_HEIGHT"), 480)
                self.assertEqual(other.lut_entry(0), 4095)
                other.set("FG_PROCESSING_INVERT", 0)
                other.load_lut(lut)
                self.assertEqual((other.get("FG_LUT_TYPE"), other.lut_entry(1)), (0, 4094))

    def test_the_same_keys_as_pvctl(self):
        env = dict(os.environ)
        r = subprocess.run([os.environ["PVCTL"], "--json", "describe", "FG_WIDTH", "FG_FORMAT"],
                           capture_output=True, text=True, env=env)
        described = __import__("json").loads(r.stdout)
        for name in ("FG_WIDTH", "FG_FORMAT"):
            ours = self.board.limits(name)
            theirs = described[name]
            for key in ("id", "type", "access", "display", "category", "unit", "min", "max",
                        "inc", "entries"):
                self.assertEqual(ours.get(key), theirs.get(key), (name, key))

    def test_grab_is_an_iterator_with_a_bounded_number_of_buffers(self):
        self.board.set("FG_WIDTH", 256)
        self.board.set("FG_HEIGHT", 8)
        grab = self.board.grab(5, buffers=4)
        numbers = []
        for number, frame in grab:
            numbers.append(number)
            if numbers == [1]:
                first = frame
        self.assertEqual(numbers, [1, 2, 3, 4, 5])
        self.assertEqual(self.board.get("FG_TRIGGERSTATE"), 2)  # stopped again
        s = grab.summary()
        self.assertEqual((s["requested"], s["acquired"], s["lost"], s["interrupted"]),
                         (5, 5, 0, False))
        if numpy is None:
            self.assertEqual(len(first), 256 * 8)
            return
        self.assertEqual((first.shape, first.dtype), ((8, 256), numpy.uint8))
        self.assertFalse(numpy.array_equal(first, frame))  # the scene moves
        frames = self.board.grab(2, as_list=True)
        self.assertEqual([f.shape for f in frames], [(8, 256)] * 2)
        self.board.set("FG_FORMAT", "FG_GRAY16")
        self.assertEqual(self.board.grab(1, as_list=True)[0].dtype, numpy.uint16)

    def test_pictures_overwritten_before_they_are_read_are_counted_not_raised(self):
        self.board.set("FG_TRIGGER_FRAMESPERSECOND", 200.0)
        self.board.set("FG_WIDTH", 64)
        self.board.set("FG_HEIGHT", 64)
        grab = self.board.grab(40, buffers=2)
        with warnings.catch_warnings(record=True) as caught:
            warnings.simplefilter("always")
            got = 0
            for number, _ in grab:
                got += 1
                if number < 20:
                    import time
                    time.sleep(0.02)  # a slow consumer: the ring goes round meanwhile
        s = grab.summary()
        self.assertEqual(s["acquired"], 40)
        self.assertGreater(s["lost"], 0)
        self.assertEqual(got + s["lost"], 40)
        self.assertTrue(any(issubclass(w.category, pellvane.PicturesLost) for w in caught))

    @unittest.skipIf(numpy is None, "save_png takes numpy frames")
    def test_save_png_writes_the_frame(self):
        frame = (numpy.arange(6 * 5, dtype=numpy.uint16) * 2000).reshape(5, 6)
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "f.png")
            pellvane.save_png(frame, path)
            with open(path, "rb") as f:
                data = f.read()
        self.assertEqual(data[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(data[16:25], b"\0\0\0\x06\0\0\0\x05\x10")
        idat = data.index(b"IDAT")
        length = int.from_bytes(data[idat - 4:idat], "big")
        raw = zlib.decompress(data[idat + 4:idat + 4 + length])
        rows = [raw[y * 13 + 1:(y + 1) * 13] for y in range(5)]
        self.assertEqual(numpy.frombuffer(b"".join(rows), dtype=">u2").reshape(5, 6).tolist(),
                         frame.tolist())


class MissingHostLibrary(unittest.TestCase):
    def test_the_error_names_the_library_and_how_it_is_found(self):
        missing = os.path.join(tempfile.gettempdir(), "no-such-folder", "libkestlib5.so")
        with self.assertRaises(pellvane.HostLibraryError) as e:
            pellvane.Board(library=missing)
        self.assertIn(missing, str(e.exception))
        self.assertIn("LD_LIBRARY_PATH", str(e.exception))
        self.assertIsInstance(e.exception, OSError)


if __name__ == "__main__":
    unittest.main()
