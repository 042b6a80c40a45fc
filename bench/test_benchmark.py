"""Tests of the benchmark's own logic: who beats vrk, which rows run and what they need, the HTJ2K round trip
and the pictures' styles. Standard library only:  python3 -m unittest discover -s bench -v"""

import array
import os
import random
import shutil
import sys
import tempfile
import unittest
from types import SimpleNamespace
from unittest import mock

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import plot_results  # noqa: E402  (imports without matplotlib: only its styles are tested)
import run_benchmark as rb  # noqa: E402


def measured(size, dec_wall, enc_wall, check="ok"):
    return dict(size=size, check=check, enc_wall=enc_wall, enc_cpu=enc_wall, enc_rss=1024,
                dec_wall=dec_wall, dec_cpu=dec_wall, dec_rss=1024)


class WhoBeatsVrk(unittest.TestCase):
    # Two images of 10^6 samples; vrk default takes 10^6 bytes and 1 s each way per image. Each peer:
    # (size factor, decode time factor, encode time factor, beaten on decode, beaten on encode).
    PEERS = {
        "smaller, faster both ways": (0.9, 0.5, 0.5, True, True),
        "smaller, faster to decode only": (0.9, 0.5, 2.0, True, False),
        "same size, faster": (1.0, 0.5, 0.5, False, False),
        "smaller, same speed": (0.9, 1.0, 1.0, False, False),
        "smaller, slower": (0.9, 2.0, 2.0, False, False),
        "larger, faster": (1.1, 0.5, 0.5, False, False),
    }

    def setUp(self):
        self.images = [dict(name=n, group="grey8", raw_bytes=10 ** 6, samples=10 ** 6) for n in ("a", "b")]
        codecs = [SimpleNamespace(label="vrk default", kind="vrk", family="vrk"),
                  SimpleNamespace(label="vrk 1 thread default", kind="vrk", family="vrk 1 thread"),
                  SimpleNamespace(label="vrk[old] default", kind="vrk", family="vrk extra")]
        results = {c.label: {n: measured(10 ** 6, 1.0, 1.0) for n in "ab"} for c in codecs}
        # The 1 thread row is slower; the extra vrk row is smaller and faster, but it is no peer.
        results["vrk 1 thread default"] = {n: measured(10 ** 6, 5.0, 5.0) for n in "ab"}
        results["vrk[old] default"] = {n: measured(5 * 10 ** 5, 0.1, 0.1) for n in "ab"}
        for label, (size, dec, enc, _, _) in self.PEERS.items():
            codecs.append(SimpleNamespace(label=label, kind="peer", family=label))
            results[label] = {n: measured(10 ** 6 * size, dec, enc) for n in "ab"}
        # Smaller and faster on the image it passed, failed on the other: judged on the one image.
        codecs.append(SimpleNamespace(label="failed on b", kind="peer", family="failed on b"))
        results["failed on b"] = dict(a=measured(8 * 10 ** 5, 0.5, 0.5), b=dict(failure="decode failed (rc 1)"))
        # Smaller and faster, but not lossless anywhere: never counts.
        codecs.append(SimpleNamespace(label="not lossless", kind="peer", family="not lossless"))
        results["not lossless"] = {n: measured(10 ** 5, 0.1, 0.1, "NOT LOSSLESS: 3 of 1000 samples differ")
                                   for n in "ab"}
        self.codecs, self.results = codecs, results
        labels = [c.label for c in codecs]
        self.summaries = rb.group_summaries(self.images, results, labels, None)

    def points(self, key):
        return {p["label"]: p for p in rb.beaten_points(self.summaries, self.results, self.codecs, key)}

    def test_a_peer_beats_vrk_only_when_strictly_smaller_and_faster(self):
        for key, column in (("dec", 3), ("enc", 4)):
            points = self.points(key)
            self.assertEqual(set(points), {"vrk default", "vrk 1 thread default"})
            beaten_by = [b["label"] for b in points["vrk default"]["beaten_by"]]
            expected = [label for label, case in self.PEERS.items() if case[column]] + ["failed on b"]
            self.assertEqual(beaten_by, expected, key)
            # The slower 1 thread row is beaten by the peers as fast as vrk default too.
            self.assertIn("smaller, same speed", [b["label"] for b in points["vrk 1 thread default"]["beaten_by"]])

    def test_a_peer_with_fewer_passed_images_is_judged_on_those_and_says_so(self):
        point = self.points("dec")["vrk default"]
        partial = next(b for b in point["beaten_by"] if b["label"] == "failed on b")
        self.assertEqual((partial["images"], point["images"]), (1, 2))
        self.assertAlmostEqual(partial["bps"], 6.4)
        self.assertAlmostEqual(partial["vrk_bps"], 8.0)
        lines, _ = rb.beaten_section(list(self.points("dec").values()), list(self.points("enc").values()))
        row = next(line for line in lines if line.startswith("| 8-bit grey photos | vrk default |"))
        self.assertIn("failed on b: 6.400, 2.0 (on the 1 of 2 images both passed, where vrk has 8.000, 1.0)", row)

    def test_section_counts_the_beaten_points_and_lists_none(self):
        self.results["smaller, faster both ways"] = {n: measured(2 * 10 ** 6, 0.5, 0.5) for n in "ab"}
        self.results["smaller, faster to decode only"] = {n: measured(2 * 10 ** 6, 0.5, 0.5) for n in "ab"}
        self.results["smaller, same speed"] = {n: measured(2 * 10 ** 6, 1.0, 1.0) for n in "ab"}
        self.results["failed on b"]["a"] = measured(2 * 10 ** 6, 0.5, 0.5)
        # Now only the slow 1 thread row is beaten on decode, and nothing on encode.
        self.results["smaller, slower"] = {n: measured(9 * 10 ** 5, 2.0, 8.0) for n in "ab"}
        decode, encode = list(self.points("dec").values()), list(self.points("enc").values())
        lines, summaries = rb.beaten_section(decode, encode)
        self.assertTrue(summaries[0].startswith("1 of 2 vrk points"), summaries[0])
        self.assertTrue(summaries[1].startswith("0 of 2 vrk points"), summaries[1])
        self.assertIn("| 8-bit grey photos | vrk default | 8.000 | 1.0 | none |", lines)
        self.assertIn("| 8-bit grey photos | vrk 1 thread default | 8.000 | 0.2 | smaller, slower: 7.200, 0.5 |",
                      lines)
        # The encode table lists the beaten points only: with none, there is no table.
        self.assertEqual(sum(1 for line in lines if line.startswith("| group |")), 1)


class RowSelection(unittest.TestCase):
    def setUp(self):
        self.peers = rb.peer_codecs("charls_bench")

    def test_codecs_and_reference(self):
        cases = [
            (["htj2k"], "CharLS", ["CharLS (JPEG-LS)", "HTJ2K (OpenJPH)"], "CharLS (JPEG-LS)"),
            (["OpenJPH"], "none", ["HTJ2K (OpenJPH)"], None),
            (["cjxl"], "htj2k", ["HTJ2K (OpenJPH)", "cjxl -d 0 -e 1 (JPEG XL)", "cjxl -d 0 -e 3 (JPEG XL)"],
             "HTJ2K (OpenJPH)"),
            ([""], "CharLS", [c.label for c in self.peers], "CharLS (JPEG-LS)"),
        ]
        for words, reference_word, labels, reference in cases:
            chosen, chosen_reference = rb.select_codecs(self.peers, words, reference_word)
            self.assertEqual([c.label for c in chosen], labels, words)
            self.assertEqual(chosen_reference, reference, words)
        with self.assertRaises(ValueError):
            rb.select_codecs(self.peers, ["htj2k"], "jpeg-ls2")

    def test_only_the_chosen_rows_tools_are_required(self):
        chosen, _ = rb.select_codecs(self.peers, ["htj2k"], "none")
        with mock.patch.object(rb.shutil, "which", return_value=None), \
                mock.patch.object(rb.os.path, "exists", return_value=False):
            missing = rb.missing_packages(chosen)
        self.assertEqual(missing, ["time", "netpbm", "libjxl-testdata", "openjph-tools"])


def write_pnm(path, channels, width, height, maxval, seed):
    """A smooth ramp with noise, so the coder has real work and every bit of the samples matters."""
    rng = random.Random(seed)
    samples = [min(maxval, (x * 7 + y * 3 + c * 50) * maxval // (width * 7 + height * 3 + 100) + rng.randrange(16))
               for y in range(height) for x in range(width) for c in range(channels)]
    if maxval < 256:
        data = bytes(samples)
    else:
        words = array.array("H", samples)
        if sys.byteorder == "little":
            words.byteswap()
        data = words.tobytes()
    with open(path, "wb") as f:
        f.write(b"P%d\n%d %d\n%d\n" % (5 if channels == 1 else 6, width, height, maxval) + data)


@unittest.skipUnless(shutil.which("ojph_compress") and shutil.which("ojph_expand"),
                     "needs ojph_compress and ojph_expand (apt-get install openjph-tools)")
class Htj2kRoundTrip(unittest.TestCase):
    def test_every_kind_of_image_comes_back_exactly(self):
        codec = next(c for c in rb.peer_codecs("charls_bench") if c.label.startswith("HTJ2K"))
        with tempfile.TemporaryDirectory() as folder:
            # Odd sizes, 8 bits, 9..15 bits at their own maxval, 16 bits and colour: the corpus's kinds.
            for channels, width, height, maxval in ((1, 37, 33, 255), (1, 40, 35, 1023), (1, 33, 41, 4095),
                                                    (1, 36, 32, 65535), (3, 35, 38, 255)):
                name = "c%d_%d" % (channels, maxval)
                path = os.path.join(folder, name + (".pgm" if channels == 1 else ".ppm"))
                write_pnm(path, channels, width, height, maxval, seed=maxval + channels)
                image = dict(name=name, path=path, channels=channels, maxval=maxval)
                self.assertTrue(codec.applies(image))
                result = rb.run_codec_on_image(codec, image, 1, folder)
                self.assertNotIn("failure", result, name)
                self.assertEqual(result["check"], "ok", name)
                self.assertGreater(result["size"], 0)


class PictureStyles(unittest.TestCase):
    def test_every_peer_has_its_own_style_and_legend_entry(self):
        labels = [c.label for c in rb.peer_codecs("charls_bench")]
        styles = plot_results.Styles([dict(label=label, family=label) for label in labels])
        looks = [(styles.by_label[label]["colour"], styles.by_label[label]["marker"]) for label in labels]
        self.assertEqual(len(set(looks)), len(labels), looks)
        self.assertNotIn(plot_results.VRK_COLOUR, [colour for colour, _ in looks])
        # A peer the plot does not know falls back to the generic hexagon with its bare label.
        self.assertNotIn("h", [marker for _, marker in looks])
        self.assertEqual(len(styles.legend), len(labels))
        self.assertIn("HTJ2K (OpenJPH), 1 thread", [s["legend"] for s in styles.legend])


if __name__ == "__main__":
    unittest.main()
