"""Tests of bench/wasm_benchmark.py: the group figures and goals, and one quick run against node on tiny
images. The run needs numpy, the vrk package, node and js/dist:
    PYTHONPATH=build/release/python/site /usr/bin/python3 -m unittest discover -s bench -v"""

import os
import shutil
import sys
import tempfile
import unittest
from unittest import mock

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import test_benchmark  # noqa: E402  (its PNM fixture writer)
import wasm_benchmark as wb  # noqa: E402


def measured(native_dec, wasm_dec, size=10 ** 5):
    # WebAssembly's CPU time is half its wall clock (as if it had waited for the CPU); native's equals it.
    return dict(size=size, native_enc=1.0, wasm_enc=2.0, native_dec=native_dec, wasm_dec=wasm_dec,
                native_enc_cpu=1.0, wasm_enc_cpu=1.0, native_dec_cpu=native_dec, wasm_dec_cpu=wasm_dec / 2)


class Summary(unittest.TestCase):
    def setUp(self):
        # 8-bit grey: a large image and a small one; colour: one image.
        self.images = [dict(name="big", group="grey8", raw_bytes=4 * 10 ** 6, samples=4 * 10 ** 6),
                       dict(name="small", group="grey8", raw_bytes=10 ** 6, samples=10 ** 6),
                       dict(name="rgb", group="colour", raw_bytes=3 * 10 ** 6, samples=3 * 10 ** 6)]

    def rows(self, colour_wasm_dec):
        times = dict(big=measured(1.0, 1.0), small=measured(1.0, 3.0), rgb=measured(1.0, colour_wasm_dec))
        results = {label: times for label, _, _ in wb.MODES}
        return wb.summarise(self.images, results)

    def test_group_figures_are_totals_over_the_images(self):
        grey = self.rows(1.0)[0]
        self.assertEqual((grey["group"], grey["mode"], grey["images"]), ("grey8", "default", 2))
        # 5 MB in 2 s native and 4 s WebAssembly: the small image's slow decode counts by its time.
        self.assertAlmostEqual(grey["native_dec"], 2.5)
        self.assertAlmostEqual(grey["wasm_dec"], 1.25)
        self.assertAlmostEqual(grey["dec_ratio"], 0.5)
        self.assertAlmostEqual(grey["enc_ratio"], 0.5)
        self.assertAlmostEqual(grey["dec_cpu_ratio"], 1.0)
        self.assertAlmostEqual(grey["enc_cpu_ratio"], 1.0)
        self.assertAlmostEqual(grey["bps"], 8 * 2 * 10 ** 5 / (5 * 10 ** 6))
        self.assertEqual([(r["group"], r["mode"]) for r in self.rows(1.0)][len(wb.MODES):],
                         [("colour", label) for label, _, _ in wb.MODES])

    def test_goals(self):
        cases = [  # (colour WebAssembly decode seconds, bytes of the files, decode goal met, size goal met)
            (1.0 / wb.DECODE_GOAL, wb.SIZE_GOAL - 1, True, True),
            (1.0 / wb.DECODE_GOAL * 1.01, wb.SIZE_GOAL, False, False),
        ]
        for seconds, total, decode_met, size_met in cases:
            rows = [r for r in self.rows(seconds) if r["group"] == "colour"]
            files = [("a.wasm", total - 100, 1), ("a.js", 100, 1)]
            (_, decode_text, decode), (_, size_text, size) = wb.goals(rows, files)
            self.assertEqual((decode, size), (decode_met, size_met), seconds)
            self.assertIn("{:,} bytes".format(total), size_text)
            # The lowest row is named, and so is every row below the goal.
            self.assertEqual(decode_text.count("colour"), 1 if decode_met else 1 + len(wb.MODES))


def tools_missing():
    if wb.vrk is None:
        return "needs numpy and the vrk package (PYTHONPATH=build/release/python/site /usr/bin/python3)"
    if shutil.which("node") is None or not os.path.exists(os.path.join(wb.ROOT, "js/dist/vrk_wasm.wasm")):
        return "needs node and js/dist (cmake --build --preset wasm)"
    return None


@unittest.skipIf(tools_missing(), tools_missing())
class AgainstNode(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.mkdtemp()
        self.addCleanup(shutil.rmtree, self.folder)
        self.node = wb.Node()
        self.addCleanup(self.node.close)
        self.images = []
        # 8 bits, 10 bits at its own maxval, 16 bits and colour, odd sizes: the corpus's kinds.
        for channels, width, height, maxval in ((1, 37, 33, 255), (1, 40, 35, 1023), (1, 36, 32, 65535),
                                                (3, 35, 38, 255)):
            name = "c%d_%d" % (channels, maxval)
            path = os.path.join(self.folder, name + (".pgm" if channels == 1 else ".ppm"))
            test_benchmark.write_pnm(path, channels, width, height, maxval, seed=maxval + channels)
            self.images.append(dict(name=name, path=path, width=width, height=height, channels=channels,
                                    bits=maxval.bit_length()))

    def test_every_kind_of_image_and_mode_gives_the_same_bytes_and_is_timed(self):
        for mode in wb.MODES:
            for image in self.images:
                result = wb.measure(self.node, image, mode, 2, self.folder)
                self.assertGreater(result["size"], 0)
                self.assertTrue(all(result[key] > 0 for key in ("native_enc", "wasm_enc", "native_dec", "wasm_dec")),
                                (image["name"], mode, result))

    def test_different_bytes_stop_the_run(self):
        encode = wb.vrk.encode

        def altered(*args, **kwargs):
            data = bytearray(encode(*args, **kwargs))
            data[-1] ^= 1
            return bytes(data)

        with mock.patch.object(wb.vrk, "encode", altered):
            with self.assertRaisesRegex(wb.Mismatch, "c3_255, -f: .* first at byte"):
                wb.measure(self.node, self.images[-1], wb.MODES[1], 1, self.folder)


if __name__ == "__main__":
    unittest.main()
