#!/usr/bin/env python3
"""quillan-convert --warc from outside, on archives it did not write.

A real archive: pages of the shared text corpus served on 127.0.0.1 by a
server of the test's own and crawled by wget --warc-file (gzip, one member
per record). Every page's text in the output must equal what
quillan-convert gives for the same page as a file, in the same mode.

Hand-made archives with faults: a gzip member cut short, a wrong
Content-Length, a record that holds no HTTP response, a 404, a PDF, a
chunked body, gzip- and deflate-encoded bodies, a charset given by HTTP
only; plain, gzip per record, one gzip member for the whole file, and
standard input. The damaged ones are reported with their offsets and the
records after them still read; the output appears only when complete.

Usage: warc_convert_test.py QUILLAN_CONVERT TEXT_CORPUS_DIR
"""
import functools
import gzip
import http.server
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import zlib

CONVERT = None
CORPUS = None
TIMEOUT = 120


def run(args, stdin=None):
    return subprocess.run([CONVERT] + args, input=stdin, capture_output=True, timeout=TIMEOUT)


def file_text(page_bytes, work, mode):
    """What quillan-convert gives for these bytes as a file."""
    path = os.path.join(work, "page-for-file-road.html")
    with open(path, "wb") as f:
        f.write(page_bytes)
    out = os.path.join(work, "page-for-file-road.txt")
    result = run(mode + [path, "-o", out])
    assert result.returncode == 0, result.stderr
    with open(out, "rb") as f:
        return f.read()


def read_warc(data):
    """The records of a plain WARC (written by us or the program): (fields, block)."""
    records = []
    pos = 0
    while pos < len(data):
        end = data.index(b"\r\n\r\n", pos)
        head = data[pos:end].decode("utf-8").split("\r\n")
        assert head[0] in ("WARC/1.0", "WARC/1.1"), head[0]
        fields = {}
        for line in head[1:]:
            name, _, value = line.partition(":")
            fields[name.strip()] = value.strip()
        length = int(fields["Content-Length"])
        block = data[end + 4:end + 4 + length]
        assert len(block) == length
        assert data[end + 4 + length:end + 8 + length] == b"\r\n\r\n"
        records.append((fields, block))
        pos = end + 8 + length
    return records


def gunzip_members(data):
    """Each gzip member's bytes inflated, in order."""
    members = []
    while data:
        d = zlib.decompressobj(16 + zlib.MAX_WBITS)
        members.append(d.decompress(data))
        assert d.eof
        data = d.unused_data
    return members


def warc_record(fields, block, version="WARC/1.0"):
    head = version + "\r\n" + "".join(f"{k}: {v}\r\n" for k, v in fields)
    head += f"Content-Length: {len(block)}\r\n\r\n"
    return head.encode() + block + b"\r\n\r\n"


_ids = iter(range(1, 1000000))


def response(url, http_head, body, version="WARC/1.0", content_type="application/http; msgtype=response"):
    rid = f"<urn:uuid:00000000-0000-4000-8000-{next(_ids):012d}>"
    fields = [("WARC-Type", "response"), ("WARC-Target-URI", url), ("WARC-Date", "2024-05-01T12:00:00Z"),
              ("WARC-Record-ID", rid)]
    if content_type:
        fields.append(("Content-Type", content_type))
    return warc_record(fields, http_head.replace(b"\n", b"\r\n") + b"\r\n\r\n" + body, version), rid


def blocked_gzip(data, size):
    """The bytes as gzip members of `size` bytes each, cutting records anywhere."""
    return b"".join(gzip.compress(data[i:i + size]) for i in range(0, len(data), size))


def peak_of(args, work):
    """(exit status, standard error, peak memory in KiB) of quillan-convert."""
    errors = os.path.join(work, "peak-errors")
    with open(errors, "wb") as err:
        proc = subprocess.Popen([CONVERT] + args, stdout=subprocess.DEVNULL, stderr=err)
    deadline = time.monotonic() + TIMEOUT
    while True:
        pid, status, usage = os.wait4(proc.pid, os.WNOHANG)
        if pid:
            break
        if time.monotonic() > deadline:
            proc.kill()
            raise AssertionError("quillan-convert did not end in time")
        time.sleep(0.02)
    proc.returncode = os.waitstatus_to_exitcode(status)
    with open(errors, "rb") as f:
        return proc.returncode, f.read().decode("utf-8", "replace"), usage.ru_maxrss


def chunked(body, size=7):
    out = b""
    for i in range(0, len(body), size):
        piece = body[i:i + size]
        out += b"%x;ext=1\r\n" % len(piece) + piece + b"\r\n"
    return out + b"0\r\nX-Trailer: yes\r\n\r\n"


class Converted:
    """The output of a --warc run, as {url: (fields, text)}."""

    def __init__(self, result, path=None, jsonl=False):
        self.result = result
        self.stderr = result.stderr.decode("utf-8", "replace")
        data = result.stdout
        if path:
            with open(path, "rb") as f:
                data = f.read()
            if path.endswith(".gz"):
                self.members = gunzip_members(data)
                data = b"".join(self.members)
        self.pages = {}
        if jsonl:
            for line in data.decode("utf-8").splitlines():
                obj = json.loads(line)
                self.pages[obj["url"]] = (obj, obj["text"].encode("utf-8"))
        else:
            records = read_warc(data)
            assert records[0][0]["WARC-Type"] == "warcinfo"
            self.info = records[0][1]
            for fields, block in records[1:]:
                assert fields["WARC-Type"] == "conversion"
                self.pages[fields["WARC-Target-URI"]] = (fields, block)

    def summary(self):
        lines = [l for l in self.stderr.splitlines() if " records, " in l]
        assert len(lines) == 1, self.stderr
        return lines[0]

    def count(self, what):
        m = re.search(r"(\d+) " + re.escape(what), self.summary())
        assert m, (what, self.summary())
        return int(m.group(1))


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args):
        pass

    def guess_type(self, path):
        # No charset: the file road has none either.
        return "text/html" if path.endswith(".html") else super().guess_type(path)


class WgetArchiveTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="warc-wget-")
        site = os.path.join(cls.work, "site")
        os.mkdir(site)
        pages_dir = os.path.join(CORPUS, "pages")
        cls.names = sorted(os.listdir(pages_dir))[:8]
        for name in cls.names:
            shutil.copy(os.path.join(pages_dir, name), site)
        handler = functools.partial(QuietHandler, directory=site)
        cls.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        base = f"http://127.0.0.1:{cls.server.server_address[1]}/"
        urls = [base + n for n in cls.names] + [base + "missing.html"]
        cls.wget = subprocess.run(["wget", "-nv", "--no-proxy", "-e", "robots=off",
                                   "--warc-file=" + os.path.join(cls.work, "crawl"),
                                   "-O", os.path.join(cls.work, "downloaded"), "--tries=3", "--timeout=30"] + urls,
                                  timeout=TIMEOUT, capture_output=True, text=True)
        cls.archive = os.path.join(cls.work, "crawl.warc.gz")
        with gzip.open(cls.archive, "rb") as f:
            cls.crawled = len(re.findall(rb"\r\nHTTP/1\.[01] 200 ", f.read()))
        cls.base = base

    @classmethod
    def tearDownClass(cls):
        cls.server.shutdown()
        shutil.rmtree(cls.work, ignore_errors=True)

    def check_pages(self, converted, mode):
        self.assertEqual(sorted(converted.pages), sorted(self.base + n for n in self.names))
        for name in self.names:
            with open(os.path.join(CORPUS, "pages", name), "rb") as f:
                expected = file_text(f.read(), self.work, mode)
            self.assertEqual(converted.pages[self.base + name][1], expected, name)

    def setUp(self):
        # wget itself fetched every page.
        self.assertEqual(self.crawled, len(self.names), self.wget.stderr)

    def test_every_page_as_the_file_road_gives_it(self):
        for mode in ([], ["--readable"]):
            with self.subTest(mode=mode):
                out = os.path.join(self.work, "texts.wet.gz")
                converted = Converted(run(["--warc", self.archive, "-o", out] + mode), out)
                self.assertEqual(converted.result.returncode, 0, converted.stderr)
                self.check_pages(converted, mode)
                self.assertEqual(converted.count("converted"), len(self.names))
                self.assertEqual(converted.count("not 2xx"), 1)
                self.assertEqual(converted.count("damaged"), 0)
                # One gzip member per record: warcinfo, then a page each.
                self.assertEqual(len(converted.members), 1 + len(self.names))

    def test_wet_fields(self):
        for mode, kind in (([], b"stripped"), (["--readable"], b"readable"), (["--article"], b"article")):
            with self.subTest(mode=mode):
                info = Converted(run(["--warc", self.archive] + mode)).info
                self.assertIn(b"\r\nconversion: " + kind + b" text\r\n", info)
        converted = Converted(run(["--warc", self.archive]))
        import base64
        import hashlib
        ids = set()
        for url, (fields, text) in converted.pages.items():
            self.assertEqual(fields["Content-Type"], "text/plain")
            self.assertEqual(fields["WARC-Block-Digest"],
                             "sha1:" + base64.b32encode(hashlib.sha1(text).digest()).decode())
            self.assertRegex(fields["WARC-Record-ID"], r"^<urn:uuid:[0-9a-f-]{36}>$")
            self.assertRegex(fields["WARC-Refers-To"], r"^<urn:uuid:[0-9a-f-]{36}>$")
            self.assertRegex(fields["WARC-Date"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
            ids.add(fields["WARC-Record-ID"])
        self.assertEqual(len(ids), len(self.names))

    def test_jsonl_readable(self):
        converted = Converted(run(["--warc", "--format", "jsonl", "--readable", self.archive]), jsonl=True)
        self.assertEqual(converted.result.returncode, 0, converted.stderr)
        self.check_pages(converted, ["--readable"])
        for url, (obj, _) in converted.pages.items():
            self.assertEqual(obj["metadata"]["status"], 200)
            self.assertEqual(obj["metadata"]["content_type"], "text/html")
            self.assertTrue(obj["metadata"]["charset"])
            self.assertRegex(obj["metadata"]["warc_record_id"], r"^<urn:uuid:")

    def test_whole_file_gzip_and_plain_and_standard_input(self):
        with gzip.open(self.archive, "rb") as f:
            plain = f.read()
        whole = os.path.join(self.work, "whole.warc.gz")
        with open(whole, "wb") as f:
            f.write(gzip.compress(plain))
        reference = Converted(run(["--warc", self.archive]))
        for args, stdin in ((["--warc", whole], None), (["--warc", "-"], plain), (["--warc"], gzip.compress(plain))):
            with self.subTest(args=args):
                converted = Converted(run(args, stdin))
                self.assertEqual(converted.result.returncode, 0, converted.stderr)
                self.assertEqual({u: t for u, (_, t) in converted.pages.items()},
                                 {u: t for u, (_, t) in reference.pages.items()})


HTML_UTF8 = "<html><head><title>T</title></head><body><p>Première page</p><p>two &amp; three</p></body></html>".encode()


class HandMadeArchiveTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="warc-hand-")

    def tearDown(self):
        shutil.rmtree(self.work, ignore_errors=True)

    def page(self, n):
        return (f"<html><body><h1>Page {n}</h1><p>Text of page {n}, caf\u00e9.</p></body></html>").encode()

    def records(self):
        """(record bytes, url or None when it must not be converted, expected html)."""
        cp1252 = "<html><body><p>Fa\u00e7ade na\u00efve \u20ac</p></body></html>"
        out = []
        out.append((warc_record([("WARC-Type", "warcinfo"), ("WARC-Record-ID", "<urn:uuid:info>")],
                                b"software: hand\r\n"), None, None))
        rec, _ = response("http://a.test/ok", b"HTTP/1.1 200 OK\nContent-Type: text/html", self.page(1))
        out.append((rec, "http://a.test/ok", self.page(1)))
        rec, _ = response("http://a.test/gone", b"HTTP/1.1 404 Not Found\nContent-Type: text/html", self.page(2))
        out.append((rec, None, None))
        rec, _ = response("http://a.test/doc.pdf", b"HTTP/1.1 200 OK\nContent-Type: application/pdf",
                          b"%PDF-1.4\n<p>not html</p>")
        out.append((rec, None, None))
        rec, _ = response("dns:a.test", b"", b"20240501120000\na.test. 300 IN A 127.0.0.1\n",
                          content_type="text/dns")
        out.append((rec, None, None))
        rec, _ = response("http://a.test/chunked", b"HTTP/1.1 200 OK\nContent-Type: text/html\nTransfer-Encoding: chunked",
                          chunked(self.page(3)))
        out.append((rec, "http://a.test/chunked", self.page(3)))
        rec, _ = response("http://a.test/gz", b"HTTP/1.1 200 OK\nContent-Type: text/html; charset=utf-8\nContent-Encoding: gzip",
                          gzip.compress(self.page(4)), version="WARC/1.1")
        out.append((rec, "http://a.test/gz", self.page(4)))
        raw = zlib.compressobj(9, zlib.DEFLATED, -15)
        rec, _ = response("http://a.test/deflate", b"HTTP/1.1 200 OK\nContent-Type: text/html\nContent-Encoding: deflate\n"
                          b"Transfer-Encoding: chunked", chunked(raw.compress(self.page(5)) + raw.flush(), 11))
        out.append((rec, "http://a.test/deflate", self.page(5)))
        rec, _ = response("http://a.test/sniffed", b"HTTP/1.1 200 OK", b"\n  <!DOCTYPE html>" + self.page(6))
        out.append((rec, "http://a.test/sniffed", b"\n  <!DOCTYPE html>" + self.page(6)))
        rec, _ = response("http://a.test/cp1252", b"HTTP/1.1 200 OK\nContent-Type: text/html; charset=windows-1252",
                          cp1252.encode("cp1252"))
        # The file road has no HTTP charset: for the readable text it is
        # given the page in UTF-8; the stripped text keeps the page's bytes.
        out.append((rec, "http://a.test/cp1252", {"readable": cp1252.encode("utf-8"), "stripped": cp1252.encode("cp1252")}))
        return out

    def expected(self, recs, mode):
        key = "readable" if mode else "stripped"
        return {url: file_text(html[key] if isinstance(html, dict) else html, self.work, mode)
                for _, url, html in recs if url}

    def convert(self, data, mode=(), jsonl=False, name="in.warc"):
        path = os.path.join(self.work, name)
        with open(path, "wb") as f:
            f.write(data)
        out = os.path.join(self.work, "out.jsonl" if jsonl else "out.wet")
        args = ["--warc", path, "-o", out] + list(mode) + (["--format", "jsonl"] if jsonl else [])
        return Converted(run(args), out, jsonl)

    def test_sound_records_in_plain_gzip_and_whole_gzip(self):
        recs = self.records()
        plain = b"".join(r for r, _, _ in recs)
        per_record = b"".join(gzip.compress(r) for r, _, _ in recs)
        for mode in ([], ["--readable"]):
            expected = self.expected(recs, mode)
            # Members of a fixed size cut the records anywhere (as bgzip
            # writes them): the same pages as the bytes inflated.
            for label, data in (("plain", plain), ("per record", per_record), ("whole", gzip.compress(plain)),
                                ("blocked", blocked_gzip(plain, 997)), ("bgzip", blocked_gzip(plain, 65280))):
                with self.subTest(mode=mode, archive=label):
                    converted = self.convert(data, mode)
                    self.assertEqual(converted.result.returncode, 0, converted.stderr)
                    self.assertEqual({u: t for u, (_, t) in converted.pages.items()}, expected)
                    self.assertEqual(converted.count("records"), len(recs))
                    self.assertEqual(converted.count("converted"), 6)
                    self.assertEqual(converted.count("not 2xx"), 1)
                    self.assertEqual(converted.count("not HTML"), 1)
                    self.assertEqual(converted.count("not HTTP"), 1)
                    self.assertEqual(converted.count("other types"), 1)
                    self.assertEqual(converted.count("damaged"), 0)
        # The HTTP charset decoded the page, and JSON Lines say which.
        converted = self.convert(plain, ["--readable"], jsonl=True)
        self.assertIn("Fa\u00e7ade na\u00efve \u20ac", converted.pages["http://a.test/cp1252"][0]["text"])
        self.assertEqual(converted.pages["http://a.test/cp1252"][0]["metadata"]["charset"], "windows-1252")
        # With --metadata each record's metadata also holds the page's own.
        converted = self.convert(plain, ["--readable", "--metadata"], jsonl=True)
        self.assertEqual(converted.result.returncode, 0, converted.stderr)
        for url, (record, _) in converted.pages.items():
            with self.subTest(url=url):
                meta = record["metadata"]
                self.assertEqual(list(meta)[:4], ["status", "content_type", "charset", "warc_record_id"])
                self.assertEqual(list(meta)[4:], ["title", "author", "date", "modified", "site", "language",
                                                  "description", "url", "image"])
                # ...and only there: the text is the page's text alone.
                self.assertFalse(record["text"].startswith("---"), record["text"][:80])
        cp1252_meta = converted.pages["http://a.test/cp1252"][0]["metadata"]
        self.assertEqual(cp1252_meta["charset"], "windows-1252")
        self.assertEqual(cp1252_meta["description"], "Fa\u00e7ade na\u00efve \u20ac")
        self.assertIsNone(cp1252_meta["author"])

    def test_damaged_records_are_reported_and_reading_goes_on(self):
        recs = self.records()
        good = [gzip.compress(r) for r, _, _ in recs]
        # A member cut in its middle, then the rest of the archive.
        cut_source, _ = response("http://a.test/cut", b"HTTP/1.1 200 OK\nContent-Type: text/html", self.page(7) * 50)
        cut = gzip.compress(cut_source)
        cut = cut[:len(cut) // 2]
        # A Content-Length too short, and one too long, each in its own member.
        short_source, _ = response("http://a.test/short", b"HTTP/1.1 200 OK\nContent-Type: text/html", self.page(8))
        short = short_source.replace(b"Content-Length: %d" % (len(short_source.split(b"\r\n\r\n", 1)[1]) - 4),
                                     b"Content-Length: 20")
        long_source, _ = response("http://a.test/long", b"HTTP/1.1 200 OK\nContent-Type: text/html", self.page(9))
        n = len(long_source.split(b"\r\n\r\n", 1)[1]) - 4
        long = long_source.replace(b"Content-Length: %d" % n, b"Content-Length: %d" % (n + 500))
        bad_head, _ = response("http://a.test/badhead", b"HTXP/1.1 200 OK\nContent-Type: text/html", self.page(10))
        members = good[:2] + [cut] + good[2:5] + [gzip.compress(short)] + good[5:7] + [gzip.compress(long)] + \
            [gzip.compress(bad_head)] + good[7:]
        offsets = []
        at = 0
        for m in members:
            offsets.append(at)
            at += len(m)
        # Every sound record is written; the status tells of the damage, and
        # so does the summary for programs, with the same counts.
        summary = os.path.join(self.work, "summary.json")
        converted = self.convert(b"".join(members), mode=("--summary", summary))
        self.assertEqual(converted.result.returncode, 1, converted.stderr)
        with open(summary, encoding="utf-8") as f:
            counts = json.load(f)
        for field in ("records", "converted", "skipped", "damaged"):
            self.assertEqual(counts[field], converted.count(field), field)
        self.assertEqual(counts["bytes_in"], converted.count("bytes in"))
        self.assertIs(counts["output_written"], True)
        self.assertEqual({u: t for u, (_, t) in converted.pages.items()}, self.expected(recs, []))
        self.assertEqual(converted.count("damaged"), 4)
        self.assertRegex(converted.summary(), r"\d+ records, \d+ converted, \d+ skipped \(.*\), 4 damaged; "
                                              r"\d+ bytes in, \d+ bytes out")
        for index in (2, 6, 9, 10):
            self.assertIn(f"damaged record at offset {offsets[index]}", converted.stderr)
        self.assertIn(f"damaged record at offset {offsets[2]}: ", converted.stderr)
        self.assertIn(f"; bytes {offsets[2]}-{offsets[3]} skipped\n", converted.stderr)

        # The same faults in a plain archive: found by the record's end, the
        # reading goes on at the next record header, looked for from the
        # damaged record's block on (a length too long took the records
        # after it), from a file and from standard input.
        # A length past the end of the file is resynchronised alike.
        n = len(long_source.split(b"\r\n\r\n", 1)[1]) - 4
        past_end = long_source.replace(b"Content-Length: %d" % n, b"Content-Length: %d" % (n + 10 ** 9))
        for damaged, reason in ((short, "the record does not end where its Content-Length"),
                                (long, "the record does not end where its Content-Length"),
                                (past_end, "block cut short")):
            plain = recs[0][0] + damaged + b"".join(recs[i][0] for i in range(1, len(recs)))
            for converted in (self.convert(plain), Converted(run(["--warc", "-"], stdin=plain))):
                self.assertEqual(converted.result.returncode, 1, converted.stderr)
                self.assertEqual({u: t for u, (_, t) in converted.pages.items()}, self.expected(recs, []))
                self.assertEqual(converted.count("damaged"), 1)
                self.assertIn(f"damaged record at offset {len(recs[0][0])}: {reason}", converted.stderr)
                self.assertIn(f"; bytes {len(recs[0][0])}-{len(recs[0][0]) + len(damaged)} skipped\n",
                              converted.stderr)

        # Cut at the end of the file: what came before is kept.
        converted = self.convert(b"".join(good[:3]) + cut)
        self.assertEqual(converted.result.returncode, 1, converted.stderr)
        self.assertEqual(sorted(converted.pages), ["http://a.test/ok"])
        self.assertEqual(converted.count("damaged"), 1)

    def test_member_cut_anywhere(self):
        # Wherever a member is cut, the inflater runs on into the next
        # members' bytes: one report, and every record after it is read,
        # from a file and from standard input alike.
        recs = self.records()
        good = [gzip.compress(r) for r, _, _ in recs]
        source, _ = response("http://a.test/cut", b"HTTP/1.1 200 OK\nContent-Type: text/html", self.page(7) * 50)
        whole = gzip.compress(source)
        expected = self.expected(recs, [])
        for cut_at in range(10, len(whole) - 8, max(1, len(whole) // 40)):
            data = b"".join(good[:2]) + whole[:cut_at] + b"".join(good[2:])
            for piped in (False, True):
                with self.subTest(cut_at=cut_at, piped=piped):
                    if piped:
                        converted = Converted(run(["--warc", "-"], stdin=data))
                    else:
                        converted = self.convert(data)
                    self.assertEqual({u: t for u, (_, t) in converted.pages.items()}, expected)
                    self.assertEqual(converted.count("damaged"), 1, converted.stderr)
                    self.assertIn(f"damaged record at offset {len(good[0]) + len(good[1])}:", converted.stderr)

    def test_output_only_when_complete(self):
        recs = self.records()
        out = os.path.join(self.work, "texts.wet.gz")
        with open(out, "wb") as f:
            f.write(b"old")
        # An archive that cannot be read: the old output stays, no fresh file
        # left, and the summary for programs says so.
        summary = os.path.join(self.work, "..", os.path.basename(self.work) + "-summary.json")
        result = run(["--warc", os.path.join(self.work, "absent.warc"), "-o", out, "--summary", summary])
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"absent.warc", result.stderr)
        with open(summary, encoding="utf-8") as f:
            self.assertIs(json.load(f)["output_written"], False)
        os.unlink(summary)
        with open(out, "rb") as f:
            self.assertEqual(f.read(), b"old")
        # Stopped by Ctrl+C while reading standard input: nothing half-written.
        proc = subprocess.Popen([CONVERT, "--warc", "-", "-o", out], stdin=subprocess.PIPE, stderr=subprocess.PIPE)
        proc.stdin.write(b"".join(r for r, _, _ in recs))
        proc.stdin.flush()
        # Its fresh file shows it has started writing.
        deadline_hit = True
        for _ in range(20000):
            if any(name.startswith(".texts.wet.gz.new-") for name in os.listdir(self.work)):
                deadline_hit = False
                break
            threading.Event().wait(0.005)
        self.assertFalse(deadline_hit, "no fresh output file appeared")
        proc.send_signal(signal.SIGINT)
        proc.wait(timeout=TIMEOUT)
        proc.stdin.close()
        proc.stderr.close()
        self.assertEqual(proc.returncode, -signal.SIGINT)
        self.assertEqual(sorted(os.listdir(self.work)), ["texts.wet.gz"])
        with open(out, "rb") as f:
            self.assertEqual(f.read(), b"old")
        # Run to the end, it replaces the old output.
        converted = self.convert(b"".join(r for r, _, _ in recs))
        self.assertEqual(converted.count("converted"), 6)

    def test_output_that_is_an_archive_is_refused(self):
        recs = self.records()
        data = b"".join(gzip.compress(r) for r, _, _ in recs)
        archive = os.path.join(self.work, "crawl.warc.gz")
        other = os.path.join(self.work, "other.warc")
        for path, content in ((archive, data), (other, recs[1][0])):
            with open(path, "wb") as f:
                f.write(content)
        os.link(archive, os.path.join(self.work, "hard.wet.gz"))
        os.symlink("crawl.warc.gz", os.path.join(self.work, "soft.wet.gz"))
        os.mkdir(os.path.join(self.work, "sub"))
        before = sorted(os.listdir(self.work))
        cases = [
            ("the same name", [archive], archive, None, None),
            ("another path, after another archive", [other, archive],
             os.path.join(self.work, "sub", "..", "crawl.warc.gz"), None, None),
            ("a hard link", [archive], os.path.join(self.work, "hard.wet.gz"), None, None),
            ("a symbolic link", [archive], os.path.join(self.work, "soft.wet.gz"), None, None),
            ("standard input", ["-"], archive, archive, None),
            ("standard output appended to it", [other, archive], None, None, archive),
        ]
        for label, inputs, out, stdin_path, stdout_path in cases:
            with self.subTest(label):
                args = [CONVERT, "--warc"] + inputs + (["-o", out] if out else [])
                stdin = open(stdin_path, "rb") if stdin_path else subprocess.DEVNULL
                stdout = open(stdout_path, "ab") if stdout_path else subprocess.PIPE
                try:
                    result = subprocess.run(args, stdin=stdin, stdout=stdout, stderr=subprocess.PIPE,
                                            timeout=TIMEOUT)
                finally:
                    for f in (stdin, stdout):
                        if hasattr(f, "close"):
                            f.close()
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(b"is this archive itself", result.stderr)
                self.assertFalse(result.stdout)
                self.assertNotIn(b" records, ", result.stderr)  # nothing was read
                with open(archive, "rb") as f:
                    self.assertEqual(f.read(), data)
                self.assertEqual(sorted(os.listdir(self.work)), before)
        # Another output beside them is written as usual.
        converted = Converted(run(["--warc", archive, "-o", os.path.join(self.work, "texts.wet")]),
                              os.path.join(self.work, "texts.wet"))
        self.assertEqual(converted.count("converted"), 6)

    def test_max_size(self):
        recs = self.records()
        big, _ = response("http://a.test/big", b"HTTP/1.1 200 OK\nContent-Type: text/html", b"<p>" + b"x" * 5000)
        bomb, _ = response("http://a.test/bomb", b"HTTP/1.1 200 OK\nContent-Type: text/html\nContent-Encoding: gzip",
                           gzip.compress(b"<p>" + b"y" * 500000))
        data = recs[1][0] + big + bomb
        path = os.path.join(self.work, "big.warc")
        with open(path, "wb") as f:
            f.write(data)
        converted = Converted(run(["--warc", path, "--max-size", "4k"]))
        self.assertEqual(sorted(converted.pages), ["http://a.test/ok"])
        self.assertEqual(converted.count("over --max-size"), 2)
        self.assertEqual(converted.result.returncode, 0, converted.stderr)

    def test_body_decoding_past_max_size_is_not_held(self):
        # A small gzip body that decodes to far more than --max-size: the
        # page is skipped without its text ever being held, so the peak
        # memory stays that of an archive of small pages.
        recs = self.records()
        small = b"".join(r for r, _, _ in recs)
        z = zlib.compressobj(9, zlib.DEFLATED, 16 + zlib.MAX_WBITS)
        piece = b"<p>" + b"y" * (1 << 20)
        body = b"".join(z.compress(piece) for _ in range(96)) + z.flush()
        bomb, _ = response("http://a.test/bomb", b"HTTP/1.1 200 OK\nContent-Type: text/html\nContent-Encoding: gzip",
                           body)
        for mode in ([], ["--article"]):
            with self.subTest(mode=mode):
                paths = []
                for name, data in (("small.warc", small), ("bomb.warc", small + bomb + small)):
                    paths.append(os.path.join(self.work, name))
                    with open(paths[-1], "wb") as f:
                        f.write(data)
                status, _, baseline = peak_of(["--warc", paths[0], "-o", os.devnull] + mode, self.work)
                self.assertEqual(status, 0)
                status, errors, peak = peak_of(["--warc", paths[1], "-o", os.devnull, "--max-size", "64M"] + mode,
                                               self.work)
                self.assertEqual(status, 0, errors)
                self.assertIn(" 1 over --max-size", errors)
                self.assertIn(" 12 converted", errors)
                self.assertLess(peak, baseline + 24 * 1024, f"peak {peak} KiB against {baseline} KiB")

    def test_usage(self):
        for args in (["--format", "wet", "x.html"], ["--warc", "--format", "csv", "x"],
                     ["--warc", "--metadata", "x"], ["--warc", "--format", "json", "x"],
                     ["--warc", "--out-dir", "d", "x"], ["--warc", "http://a.test/x.warc"], ["--warc", "-", "-"],
                     ["--summary", "s.json", "x.html"], ["--warc", "--summary", "-", "x"]):
            with self.subTest(args=args):
                self.assertEqual(run(args).returncode, 2)


if __name__ == "__main__":
    CONVERT, CORPUS = sys.argv[1], sys.argv[2]
    unittest.main(argv=sys.argv[:1], verbosity=2)
