"""zip32.dll and unzip32.dll (through ziptool.exe under wine) beside the
common tools: our archives pass unzip, 7z and python's zipfile; we extract
theirs; hostile archives never write outside their destination; update,
freshen, move and the extraction flags behave as documented."""
import calendar
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest
import zipfile

TOOL = None
T1 = calendar.timegm((2020, 5, 17, 10, 20, 31, 0, 0, 0))  # an odd second
T2 = T1 + 3600
T3 = T1 + 7200


def win(path):
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def ziptool(*args):
    p = subprocess.run(["wine", TOOL] + list(args), stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                       stdin=subprocess.DEVNULL)
    return p.returncode, p.stdout.decode("utf-8", "replace").replace("\r", "")


def write(path, data, mtime=None):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data if isinstance(data, bytes) else data.encode())
    if mtime is not None:
        os.utime(path, (mtime, mtime))


def tree(root):
    """Relative file paths and contents under root."""
    out = {}
    for d, _, files in os.walk(root):
        for n in files:
            p = os.path.join(d, n)
            with open(p, "rb") as f:
                out[os.path.relpath(p, root)] = f.read()
    return out


class Base(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="ziptest")

    def tearDown(self):
        shutil.rmtree(self.dir, ignore_errors=True)

    def path(self, *parts):
        return os.path.join(self.dir, *parts)

    def common_tools_accept(self, z):
        self.assertEqual(subprocess.run(["unzip", "-tq", z], stdout=subprocess.DEVNULL).returncode, 0)
        self.assertEqual(subprocess.run(["7z", "t", z], stdout=subprocess.DEVNULL).returncode, 0)
        with zipfile.ZipFile(z) as zf:
            self.assertIsNone(zf.testzip())
            return zf.infolist()

    def corpus(self):
        src = self.path("src")
        rnd = random.Random(7)
        write(os.path.join(src, "a.txt"), "hello\n" * 1000, T1)
        write(os.path.join(src, "empty.dat"), b"")
        write(os.path.join(src, "noise.bin"), bytes(rnd.getrandbits(8) for _ in range(200000)))
        write(os.path.join(src, "sub", "deeper", "b.txt"), "".join(str(i) for i in range(20000)))
        write(os.path.join(src, "grüße.txt"), "umlaut")
        write(os.path.join(src, ".hidden"), "secret")
        os.makedirs(os.path.join(src, "emptydir"))
        return src


class OurArchives(Base):
    def test_common_tools_accept_our_archives_with_names_times_and_comment(self):
        src = self.corpus()
        for level in "0169":
            z = self.path("our%s.zip" % level)
            rc, out = ziptool("zip", win(z), win(src), "re", level, "first line\r\nsecond", "*.*")
            self.assertEqual(rc, 0, out)
            self.assertEqual(subprocess.run(["unzip", "-tq", z], stdout=subprocess.DEVNULL).returncode, 0)
            self.assertEqual(subprocess.run(["7z", "t", z], stdout=subprocess.DEVNULL).returncode, 0)
            with zipfile.ZipFile(z) as zf:
                self.assertIsNone(zf.testzip())
                self.assertEqual(zf.comment, b"first line\r\nsecond")
                names = sorted(zf.namelist())
                self.assertEqual(names, sorted(["a.txt", "empty.dat", "noise.bin", "sub/", "sub/deeper/",
                                                "sub/deeper/b.txt", "grüße.txt", "emptydir/"]))
                a = zf.getinfo("a.txt")
                self.assertEqual(a.date_time, (2020, 5, 17, 10, 20, 32))  # odd seconds round up
                self.assertIn(b"UT", a.extra)
                methods = {i.compress_type for i in zf.infolist() if not i.is_dir() and i.file_size}
                # Random data does not shrink: it is stored at every level.
                self.assertEqual(zf.getinfo("noise.bin").compress_type, zipfile.ZIP_STORED)
                self.assertEqual(methods, {zipfile.ZIP_STORED} if level == "0" else
                                 {zipfile.ZIP_STORED, zipfile.ZIP_DEFLATED})
            out_dir = self.path("x" + level)
            subprocess.run(["unzip", "-q", z, "-d", out_dir], check=True)
            expect = tree(src)
            del expect[".hidden"]
            self.assertEqual(tree(out_dir), expect)

    def test_names_follow_the_root_the_flags_and_never_climb(self):
        src = self.corpus()
        other = self.path("other")
        write(os.path.join(other, "far.txt"), "far")
        z = self.path("names.zip")
        # Relative specs from the root (".." resolved first), an absolute one
        # named without its drive, system and hidden files when asked.
        rc, out = ziptool("zip", win(z), win(os.path.join(src, "sub")), "h", "6", "-",
                          "deeper\\b.txt", "..\\a.txt", "..\\.hidden", win(os.path.join(other, "far.txt")))
        self.assertEqual(rc, 0, out)
        names = zipfile.ZipFile(z).namelist()
        self.assertIn("deeper/b.txt", names)
        self.assertIn(os.path.abspath(other).lstrip("/") + "/far.txt", names)
        self.assertIn(".hidden", [n.rsplit("/", 1)[-1] for n in names])
        self.assertFalse(any(n.startswith("/") or ".." in n.split("/") or ":" in n for n in names), names)
        # Junk paths: bare names, no folder entries.
        z2 = self.path("junk.zip")
        rc, out = ziptool("zip", win(z2), win(src), "rj", "6", "-", "*.*")
        self.assertEqual(rc, 0, out)
        self.assertEqual(sorted(zipfile.ZipFile(z2).namelist()),
                         sorted(["a.txt", "empty.dat", "noise.bin", "b.txt", "grüße.txt"]))
        # 8.3 names: every part fits.
        write(os.path.join(src, "a rather long name.text"), "x")
        z3 = self.path("dos.zip")
        rc, out = ziptool("zip", win(z3), win(src), "d", "6", "-", "*.*")
        self.assertEqual(rc, 0, out)
        for n in zipfile.ZipFile(z3).namelist():
            base, _, ext = n.partition(".")
            self.assertTrue(len(base) <= 8 and len(ext) <= 3, n)
        # Nothing matched: nothing to do, no archive.
        rc, out = ziptool("zip", win(self.path("none.zip")), win(src), "-", "6", "-", "*.nothing")
        self.assertEqual(rc, 12, out)
        self.assertFalse(os.path.exists(self.path("none.zip")))

    def test_update_freshen_add_and_move(self):
        src = self.path("upd")
        write(os.path.join(src, "a.txt"), "a1", T1)
        write(os.path.join(src, "b.txt"), "b1", T1)
        z = self.path("u.zip")
        self.assertEqual(ziptool("zip", win(z), win(src), "-", "6", "-", "a.txt", "b.txt")[0], 0)
        write(os.path.join(src, "a.txt"), "a2", T2)   # newer
        write(os.path.join(src, "b.txt"), "b0", T1 - 3600)  # older than its entry
        write(os.path.join(src, "c.txt"), "c1", T1)   # new
        rc, out = ziptool("zip", win(z), win(src), "f", "6", "-", "*.txt")
        self.assertEqual(rc, 0, out)
        with zipfile.ZipFile(z) as zf:
            self.assertEqual(sorted(zf.namelist()), ["a.txt", "b.txt"])
            self.assertEqual(zf.read("a.txt"), b"a2")
            self.assertEqual(zf.read("b.txt"), b"b1")
        rc, out = ziptool("zip", win(z), win(src), "u", "6", "-", "*.txt")
        self.assertEqual(rc, 0, out)
        with zipfile.ZipFile(z) as zf:
            self.assertEqual(zf.namelist(), ["a.txt", "b.txt", "c.txt"])
            self.assertEqual(zf.read("b.txt"), b"b1")
        self.assertEqual(ziptool("zip", win(z), win(src), "u", "6", "-", "*.txt")[0], 12)
        self.assertEqual(ziptool("zip", win(z), win(src), "f", "6", "-", "*.txt")[0], 12)
        self.assertEqual(ziptool("zip", win(self.path("missing.zip")), win(src), "f", "6", "-", "*.txt")[0], 13)
        # Add replaces whatever the times say.
        rc, out = ziptool("zip", win(z), win(src), "-", "6", "kept", "b.txt")
        self.assertEqual(rc, 0, out)
        with zipfile.ZipFile(z) as zf:
            self.assertEqual(zf.read("b.txt"), b"b0")
            self.assertEqual(zf.comment, b"kept")
        self.assertEqual(subprocess.run(["unzip", "-tq", z], stdout=subprocess.DEVNULL).returncode, 0)

        # A damaged old archive stays as it was; so do the sources of a move
        # whose archive cannot be written.
        bad = self.path("bad.zip")
        write(bad, b"PK\x03\x04 not really a zip file" * 10)
        before = open(bad, "rb").read()
        rc, _ = ziptool("zip", win(bad), win(src), "-", "6", "-", "*.txt")
        self.assertIn(rc, (2, 3))
        self.assertEqual(open(bad, "rb").read(), before)
        rc, _ = ziptool("zip", win(self.path("no", "such", "folder", "m.zip")), win(src), "m", "6", "-", "*.txt")
        self.assertEqual(rc, 15)
        self.assertEqual(sorted(os.listdir(src)), ["a.txt", "b.txt", "c.txt"])

        # Move: sources go once the archive is in place, walked folders when
        # they end up empty; a folder with a file left behind stays.
        mv = self.path("mv")
        write(os.path.join(mv, "top.txt"), "t")
        write(os.path.join(mv, "d1", "x.txt"), "x")
        write(os.path.join(mv, "d1", "d2", "y.txt"), "y")
        write(os.path.join(mv, "d3", ".keep"), "hidden, not taken")
        rc, out = ziptool("zip", win(self.path("m.zip")), win(mv), "mr", "6", "-", "*.*")
        self.assertEqual(rc, 0, out)
        self.assertEqual(sorted(zipfile.ZipFile(self.path("m.zip")).namelist()),
                         ["d1/", "d1/d2/", "d1/d2/y.txt", "d1/x.txt", "d3/", "top.txt"])
        self.assertEqual(sorted(os.listdir(mv)), ["d3"])
        self.assertEqual(os.listdir(os.path.join(mv, "d3")), [".keep"])


    def test_a_file_that_cannot_be_read_is_left_out_and_reported(self):
        src = self.corpus()
        z = self.path("locked.zip")
        env = dict(os.environ, ZIPTOOL_LOCK=win(os.path.join(src, "a.txt")))
        p = subprocess.run(["wine", TOOL, "zip", win(z), win(src), "r", "6", "-", "*.*"], env=env,
                           stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, stdin=subprocess.DEVNULL)
        out = p.stdout.decode("utf-8", "replace")
        self.assertEqual(p.returncode, 18, out)
        self.assertIn("a.txt", out)
        names = {i.filename for i in self.common_tools_accept(z)}
        self.assertNotIn("a.txt", names)
        self.assertIn("sub/deeper/b.txt", names)


class Zip64(Base):
    """Past the limits of the classic records: more than 65,535 entries,
    files and offsets over 4 GB."""

    def test_an_archive_of_more_than_65535_entries_is_kept_and_extended(self):
        z = self.path("many.zip")
        count = 65600
        with zipfile.ZipFile(z, "w", zipfile.ZIP_STORED) as zf:
            for i in range(count):
                zf.writestr("d%02d/f%05d.txt" % (i % 50, i), str(i))
        src = self.path("src")
        write(os.path.join(src, "new.txt"), "the one more")
        rc, out = ziptool("zip", win(z), win(src), "-", "6", "-", "new.txt")
        self.assertEqual(rc, 0, out)
        infos = self.common_tools_accept(z)
        self.assertEqual(len(infos), count + 1)
        self.assertEqual(infos[-1].filename, "new.txt")
        with open(z, "rb") as f:
            f.seek(-22, 2)
            end = f.read(22)
        self.assertEqual(end[8:12], b"\xff\xff\xff\xff")  # the classic counts point to the zip64 record

    @unittest.skipUnless(os.environ.get("ORVANE_LARGE_TESTS"), "set ORVANE_LARGE_TESTS=1 for the 4 GB archives")
    def test_files_and_offsets_over_4_gb(self):
        src = self.path("src")
        big = os.path.join(src, "big.bin")
        os.makedirs(src)
        with open(big, "wb") as f:
            f.truncate((4 << 30) + 12345)  # zeros, sparse on disk
        write(os.path.join(src, "small.txt"), "after the big one")
        for level in "10":
            z = self.path("big%s.zip" % level)
            rc, out = ziptool("zip", win(z), win(src), "-", level, "-", "big.bin", "small.txt")
            self.assertEqual(rc, 0, out)
            infos = {i.filename: i for i in self.common_tools_accept(z)}
            self.assertEqual(infos["big.bin"].file_size, (4 << 30) + 12345)
            if level == "0":
                self.assertGreater(infos["small.txt"].header_offset, 4 << 30)
            else:
                rc, out = ziptool("unzip", win(z), win(self.path("out")), "")
                self.assertEqual(rc, 0, out)
                self.assertEqual(os.path.getsize(self.path("out", "big.bin")), (4 << 30) + 12345)
                os.remove(self.path("out", "big.bin"))
            os.remove(z)


class TheirArchives(Base):
    def extract(self, z, flags="p"):
        dest = self.path("out_" + os.path.basename(z))
        rc, out = ziptool("unzip", win(z), win(dest), flags)
        return rc, out, dest

    def assert_same_as_python(self, z, dest):
        with zipfile.ZipFile(z) as zf:
            for info in zf.infolist():
                if info.is_dir():
                    self.assertTrue(os.path.isdir(os.path.join(dest, info.filename)), info.filename)
                    continue
                with open(os.path.join(dest, info.filename), "rb") as f:
                    self.assertEqual(f.read(), zf.read(info), info.filename)

    def test_we_extract_archives_of_zip_python_and_7z(self):
        src = self.corpus()
        archives = []
        for level in "0169":
            z = self.path("zip%s.zip" % level)
            subprocess.run("cd %s && echo 'the comment' | zip -q -r -z -%s %s ." % (src, level, z), shell=True,
                           check=True)
            archives.append(z)
        streamed = self.path("streamed.zip")
        subprocess.run("cat %s | zip -q %s -" % (os.path.join(src, "noise.bin"), streamed), shell=True, check=True)
        archives.append(streamed)
        z64 = self.path("zip64.zip")
        subprocess.run("cd %s && zip -q -r -fz %s ." % (src, z64), shell=True, check=True)
        archives.append(z64)
        py = self.path("python.zip")
        with zipfile.ZipFile(py, "w", zipfile.ZIP_DEFLATED) as zf:
            zf.writestr("ünïcødé/名前.txt", "utf-8 names")
            with zf.open("forced64.bin", "w", force_zip64=True) as f:
                f.write(b"z" * 100000)
        archives.append(py)
        sz = self.path("sevenzip.zip")
        subprocess.run(["7z", "a", "-tzip", "-mx=7", sz, src + "/."], stdout=subprocess.DEVNULL, check=True)
        archives.append(sz)
        for z in archives:
            rc, out, dest = self.extract(z)
            self.assertEqual(rc, 0, "%s: %s" % (z, out))
            self.assert_same_as_python(z, dest)
        # Times come back (to the second with the extended timestamp).
        mt = os.path.getmtime(os.path.join(self.path("out_zip6.zip"), "a.txt"))
        self.assertEqual(int(mt), int(T1))

    def test_hostile_archives_stay_inside_their_destination(self):
        z = self.path("slip.zip")
        stripped = {"../evil1.txt": "evil1.txt", "/abs.txt": "abs.txt", "\\back.txt": "back.txt",
                    "C:/drive.txt": "drive.txt", "C:evil2.txt": "evil2.txt",
                    "//server/share/unc.txt": "server/share/unc.txt", "sub\\..\\..\\climb.txt": "sub/climb.txt",
                    "a/b/../../../up.txt": "a/b/up.txt", ".../dots.txt": "dots.txt"}
        refused = ["file.txt:stream", "CON", "nul.txt", "dir/com1.log", "aux/x.txt", "q?.txt"]
        with zipfile.ZipFile(z, "w") as zf:
            for name in list(stripped) + refused:
                info = zipfile.ZipInfo("placeholder")
                info.filename = name  # as stored, unnormalised
                zf.writestr(info, "payload " + name)
            link = zipfile.ZipInfo("link")
            link.create_system = 3
            link.external_attr = 0o120777 << 16
            zf.writestr(link, "../../../../etc/passwd")
            zf.writestr("good.txt", "fine")
        sandbox = self.path("box")
        dest = os.path.join(sandbox, "dest")
        os.makedirs(dest)
        rc, out = ziptool("unzip", win(z), win(dest), "p")
        self.assertEqual(rc, 2, out)
        self.assertEqual(os.listdir(sandbox), ["dest"])
        got = tree(dest)
        for name, place in stripped.items():
            self.assertEqual(got.get(place), ("payload " + name).encode(), (name, sorted(got)))
        self.assertEqual(got.get("good.txt"), b"fine")
        self.assertEqual(len(got), len(stripped) + 1, sorted(got))
        for name in refused + ["link"]:
            self.assertIn(name, out)
        self.assertIn("warning: stripped", out)
        # Nothing escaped anywhere below the test folder either.
        for d, _, files in os.walk(self.dir):
            for n in files:
                self.assertTrue(d.startswith(dest) or d == self.dir, os.path.join(d, n))

    def test_damaged_and_empty_archives_are_reported(self):
        src = self.corpus()
        good = self.path("good.zip")
        subprocess.run("cd %s && zip -q -r %s ." % (src, good), shell=True, check=True)
        data = open(good, "rb").read()
        write(self.path("half.zip"), data[:len(data) // 2])
        rc, out, dest = self.extract(self.path("half.zip"))
        self.assertIn(rc, (3, 51), out)
        # One flipped bit inside a deflated entry's data: a CRC or data
        # error, the file not left behind, the others extracted.
        with zipfile.ZipFile(good) as zf:
            info = zf.getinfo("sub/deeper/b.txt")
        offset = info.header_offset + 30 + len(info.filename) + len(info.extra) + info.compress_size // 2
        flipped = bytearray(data)
        flipped[offset] ^= 0x10
        write(self.path("flipped.zip"), bytes(flipped))
        rc, out, dest = self.extract(self.path("flipped.zip"))
        self.assertEqual(rc, 2, out)
        self.assertIn("sub/deeper/b.txt", out)
        self.assertFalse(os.path.exists(os.path.join(dest, "sub", "deeper", "b.txt")))
        self.assertEqual(os.listdir(os.path.join(dest, "sub", "deeper")), [])  # no temporary left
        self.assertTrue(os.path.exists(os.path.join(dest, "a.txt")))
        # Over an existing file the damaged entry leaves the old one whole.
        write(os.path.join(dest, "sub", "deeper", "b.txt"), "the old one")
        rc, out, dest = self.extract(self.path("flipped.zip"), "po")
        self.assertEqual(rc, 2, out)
        self.assertEqual(os.listdir(os.path.join(dest, "sub", "deeper")), ["b.txt"])
        with open(os.path.join(dest, "sub", "deeper", "b.txt")) as f:
            self.assertEqual(f.read(), "the old one")
        write(self.path("empty.zip"), b"PK\x05\x06" + b"\0" * 18)
        rc, out, dest = self.extract(self.path("empty.zip"))
        self.assertEqual(rc, 1, out)
        self.assertIn("empty", out)
        rc, out, dest = self.extract(self.path("absent.zip"))
        self.assertEqual(rc, 9, out)

    def test_overwrite_and_skip_older_in_their_four_cases(self):
        src = self.path("s")
        write(os.path.join(src, "x.txt"), "x archived", T2)
        write(os.path.join(src, "y.txt"), "y archived", T2)
        write(os.path.join(src, "z.txt"), "z archived", T2)
        z = self.path("flags.zip")
        subprocess.run("cd %s && zip -q %s x.txt y.txt z.txt" % (src, z), shell=True, check=True)

        def run(flags):
            dest = self.path("d_" + flags)
            write(os.path.join(dest, "x.txt"), "x older on disk", T1)
            write(os.path.join(dest, "y.txt"), "y newer on disk", T3)
            rc, out = ziptool("unzip", win(z), win(dest), flags + "p")
            self.assertEqual(rc, 0, out)
            return {k: v.decode() for k, v in tree(dest).items()}

        kept = {"x.txt": "x older on disk", "y.txt": "y newer on disk", "z.txt": "z archived"}
        self.assertEqual(run(""), kept)
        self.assertEqual(run("n"), kept)
        self.assertEqual(run("o"), {"x.txt": "x archived", "y.txt": "y archived", "z.txt": "z archived"})
        self.assertEqual(run("on"), {"x.txt": "x archived", "y.txt": "y newer on disk", "z.txt": "z archived"})
        # Without folder names every file lands in the destination itself.
        nested = self.path("nested.zip")
        with zipfile.ZipFile(nested, "w") as zf:
            zf.writestr("f1/f2/deep.txt", "deep")
            zf.writestr("f1/", "")
        flat = self.path("flat")
        self.assertEqual(ziptool("unzip", win(nested), win(flat), "")[0], 0)
        self.assertEqual(os.listdir(flat), ["deep.txt"])


if __name__ == "__main__":
    TOOL = sys.argv.pop(1)
    unittest.main(verbosity=1)
