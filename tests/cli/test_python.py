"""The pellvane Python module end to end on the virtual board."""
import os
import tempfile
import unittest

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
        self.assertEqual((width["unit"], width["value"], width["writable"]), ("pixel", 1024, True))
        fmt = self.board.limits("FG_FORMAT")
        self.assertEqual(fmt["entries"], [("FG_GRAY", 3, "Gray 8bit"),
                                          ("FG_GRAY16", 1, "Gray 16bit")])
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

    def test_grab_three_frames(self):
        self.board.set("FG_WIDTH", 256)
        self.board.set("FG_HEIGHT", 8)
        frames = self.board.grab(3)
        self.assertEqual(len(frames), 3)
        self.assertEqual(self.board.get("FG_TRIGGERSTATE"), 2)  # stopped again
        if numpy is None:
            self.assertEqual([len(f) for f in frames], [256 * 8] * 3)
            return
        self.assertEqual((frames[0].shape, frames[0].dtype), ((8, 256), numpy.uint8))
        # The camera's test scene moves between frames.
        self.assertFalse(numpy.array_equal(frames[0], frames[1]))
        self.board.set("FG_FORMAT", "FG_GRAY16")
        self.assertEqual(self.board.grab(1)[0].dtype, numpy.uint16)


if __name__ == "__main__":
    unittest.main()
