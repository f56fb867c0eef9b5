"""The module quillan against quillan-convert: the same texts, the same
JSON, the same archive records, from many threads at once, and the
documented errors for bad input.

Run by ctest with PYTHONPATH at the built module, QUILLAN_CONVERT the built
quillan-convert and QUILLAN_SHARED the shared corpora.
"""
import codecs
import concurrent.futures
import gzip
import io
import json
import os
import pickle
import re
import subprocess
import sys
import threading

import pytest

import quillan

CONVERT = os.environ["QUILLAN_CONVERT"]
SHARED = os.environ["QUILLAN_SHARED"]
EXTRACTION = os.path.join(SHARED, "extraction-corpus", "pages")
MARKDOWN = os.path.join(SHARED, "markdown-corpus", "pages")
KIND_OPTION = {"article": ["--article"], "readable": ["--readable"], "stripped": []}

PAGES = sorted(os.path.join(EXTRACTION, name) for name in os.listdir(EXTRACTION) if name.endswith(".html"))
MARKDOWN_PAGES = sorted(
    os.path.join(MARKDOWN, name, "page.html") for name in os.listdir(MARKDOWN)
    if os.path.exists(os.path.join(MARKDOWN, name, "page.html")))[:6]


def convert(args, stdin=None):
    done = subprocess.run([CONVERT] + args, input=stdin, capture_output=True, timeout=60)
    assert done.returncode in (0, 1), done.stderr
    return done.stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


# windows-1252 as browsers read it: the five bytes Python's codec leaves out
# are the C1 controls of the same number.
codecs.register_error("c1", lambda e: (chr(e.object[e.start]), e.start + 1))


def cp1252(data):
    return data.decode("cp1252", errors="c1")


def decoded(data, page=b""):
    """Text in the page's encoding: the one its <meta> names, else UTF-8 when valid, else windows-1252."""
    named = re.search(rb"<meta[^>]*charset\s*=\s*[\"']?([-\w]+)", page[:4096], re.I)
    name = named.group(1).decode().lower() if named else None
    if name in ("iso-8859-1", "latin1", "windows-1252", "us-ascii", "ascii"):
        return cp1252(data)
    if name and name not in ("utf-8", "utf8"):
        return data.decode(name)
    try:
        return data.decode("utf-8", errors="replace" if name else "strict")
    except UnicodeDecodeError:
        return cp1252(data)


@pytest.mark.parametrize("kind", ["article", "readable", "stripped"])
def test_to_text_is_the_command_lines_text(kind):
    for path in PAGES:
        expected = convert(KIND_OPTION[kind] + ["-o", "-", path])
        page = read(path)
        got = quillan.to_text(page, kind=kind)
        assert got == (decoded(expected, page) if kind == "stripped" else expected.decode()), path


def test_markdown_links_and_width_are_the_command_lines():
    for path in MARKDOWN_PAGES + PAGES[:4]:
        page = read(path)
        for kind in ("article", "readable"):
            expected = convert(KIND_OPTION[kind] + ["--markdown", "-o", "-", path])
            assert quillan.to_text(page, kind=kind, markdown=True) == expected.decode(), path
        expected = convert(["--readable", "--links", "--width", "60", "-o", "-", path])
        assert quillan.to_text(page, kind="readable", links=True, width=60) == expected.decode(), path


def test_extract_is_the_command_lines_json():
    for path in PAGES + MARKDOWN_PAGES:
        for kind in ("article",) if path not in PAGES[:5] else ("article", "readable", "stripped"):
            expected = json.loads(convert(KIND_OPTION[kind] + ["--format", "json", "-o", "-", path]))
            del expected["source"]
            assert quillan.extract(read(path), kind=kind) == expected, (path, kind)


def test_comments_and_bias_are_the_command_lines():
    options = (([], {}), (["--comments"], {"comments": True}), (["--precision"], {"bias": "precision"}),
               (["--recall", "--comments"], {"bias": "recall", "comments": True}))
    for path in PAGES[::8]:
        page = read(path)
        for args, kwargs in options:
            expected = convert(["--article"] + args + ["-o", "-", path])
            assert quillan.to_text(page, **kwargs) == expected.decode(), (path, args)
        expected = json.loads(convert(["--article", "--recall", "--format", "json", "-o", "-", path]))
        del expected["source"]
        assert quillan.extract(page, bias="recall") == expected, path
    for kwargs in ({"bias": "fuller"}, {"kind": "readable", "comments": True}, {"kind": "stripped", "bias": "recall"}):
        with pytest.raises(ValueError):
            quillan.to_text(b"<p>x", **kwargs)


def test_url_makes_links_and_metadata_absolute():
    page = (b'<html><head><title>T</title><link rel="canonical" href="/story">'
            b'<meta property="og:image" content="pic.png"></head>'
            b'<body><p>Read <a href="more.html">more</a> here.</p></body></html>')
    text = quillan.to_text(page, kind="readable", links=True, url="https://example.com/news/")
    assert "https://example.com/news/more.html" in text
    fields = quillan.extract(page, kind="readable", url="https://example.com/news/")
    assert fields["url"] == "https://example.com/story"
    assert fields["image"] == "https://example.com/news/pic.png"


def test_str_is_taken_as_decoded_text():
    # Its UTF-8 with the charset UTF-8: a <meta> naming another is not heeded.
    page = '<meta charset="windows-1252"><p>Zoë – “quoted”</p>'
    assert quillan.to_text(page, kind="readable") == "Zoë – “quoted”\n"
    assert quillan.to_text(page, kind="stripped").strip() == "Zoë – “quoted”"
    assert quillan.to_text(page.encode("cp1252"), kind="readable") == "Zoë – “quoted”\n"
    assert quillan.to_text(page.encode("utf-8"), kind="readable", charset="utf-8") == "Zoë – “quoted”\n"


def test_bad_input():
    assert quillan.to_text(b"") == ""
    assert quillan.extract(b"", kind="readable")["text"] == ""
    for page in (b"\x89PNG\r\n\x1a\n\x00\x00\x00\rIHDR" + bytes(range(256)) * 4,
                 b"<p>caf\xe9 \xff\xfe \xc3\x28 na\xefve</p>"):
        for kind in ("article", "readable", "stripped"):
            expected = convert(KIND_OPTION[kind] + ["-o", "-", "-"], stdin=page)
            assert quillan.to_text(page, kind=kind) == (decoded(expected, page) if kind == "stripped" else
                                                        expected.decode())
        expected = json.loads(convert(["--format", "json", "-o", "-", "-"], stdin=page))
        del expected["source"]
        assert quillan.extract(page, kind="stripped") == expected
    with pytest.raises(quillan.TooLarge):
        quillan.to_text(b"<p>" + b"x" * 100, max_size=64)
    assert issubclass(quillan.TooLarge, quillan.Error) and issubclass(quillan.ArchiveError, quillan.Error)
    with pytest.raises(ValueError):
        quillan.to_text("\ud800 lone surrogate")
    with pytest.raises(ValueError):
        quillan.to_text(b"<p>x", kind="summary")
    with pytest.raises(ValueError):
        quillan.to_text(b"<p>x", kind="stripped", markdown=True)
    with pytest.raises(ValueError):
        quillan.to_text(b"<p>x", kind="readable", width=-1)
    with pytest.raises(ValueError):
        quillan.to_text(b"<p>x", max_size=0)
    with pytest.raises(ValueError):
        quillan.to_text("<p>x", charset="latin1")
    with pytest.raises(TypeError):
        quillan.to_text(42)
    with pytest.raises(TypeError):
        quillan.extract(b"<p>x", kind=3)
    with pytest.raises(TypeError):
        quillan.to_text(b"<p>x", "readable")  # the options are keywords only


def test_functions_pickle_by_name_for_other_processes():
    # Dask and multiprocessing send the function to their workers.
    for function in (quillan.to_text, quillan.extract, quillan.read_warc):
        assert pickle.loads(pickle.dumps(function)) is function


def test_threads_give_the_texts_one_thread_gives():
    pages = [read(p) for p in PAGES[:24]]
    kinds = ["article", "readable", "stripped"]
    jobs = [(page, kinds[i % 3]) for i, page in enumerate(pages)] * 2
    alone = [quillan.to_text(page, kind=kind) for page, kind in jobs]
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        together = list(pool.map(lambda job: quillan.to_text(job[0], kind=job[1]), jobs, timeout=60))
    assert together == alone


def test_other_threads_run_while_a_page_converts():
    # With no forced switch between threads, this thread gets the
    # interpreter again while the worker is inside to_text() only if the
    # conversion lets go of it.
    page = b"".join(read(p) for p in PAGES) * 6
    started, converted = threading.Event(), threading.Event()

    def work():
        started.set()
        quillan.to_text(page, kind="readable")
        converted.set()

    interval = sys.getswitchinterval()
    sys.setswitchinterval(1000)
    try:
        worker = threading.Thread(target=work)
        worker.start()
        assert started.wait(timeout=60)
        assert not converted.is_set()
    finally:
        sys.setswitchinterval(interval)
        worker.join(timeout=60)
    assert converted.is_set()


# --- archives --------------------------------------------------------------

def warc_record(fields, block):
    head = ["WARC/1.0"] + ["%s: %s" % kv for kv in fields] + ["Content-Length: %d" % len(block)]
    return ("\r\n".join(head) + "\r\n\r\n").encode() + block + b"\r\n\r\n"


def response(n, url, status, content_type, body):
    http = ("HTTP/1.1 %d X\r\nContent-Type: %s\r\nContent-Length: %d\r\n\r\n" %
            (status, content_type, len(body))).encode() + body
    return warc_record([("WARC-Type", "response"), ("WARC-Target-URI", url),
                        ("WARC-Date", "2024-05-01T12:00:%02dZ" % n),
                        ("WARC-Record-ID", "<urn:uuid:00000000-0000-4000-8000-%012d>" % n),
                        ("Content-Type", "application/http; msgtype=response")], http)


def archive_records():
    records = [warc_record([("WARC-Type", "warcinfo"), ("WARC-Date", "2024-05-01T12:00:00Z")], b"software: test\r\n")]
    for n, path in enumerate(PAGES[:10] + MARKDOWN_PAGES[:2], start=1):
        records.append(response(n, "https://example.com/p%d.html" % n, 200, "text/html", read(path)))
    records.append(response(50, "https://example.com/missing", 404, "text/html", b"<p>gone</p>"))
    records.append(response(51, "https://example.com/pic.png", 200, "image/png", b"\x89PNG"))
    records.append(response(52, "https://example.com/big.html", 200, "text/html", b"<p>" + b"big " * 20000))
    return records


def without_ids(records):
    for record in records:
        assert record.pop("id").startswith("<urn:uuid:")
    return records


def command_line_records(path, *options, kind="--article"):
    out = convert(["--warc", "--format", "jsonl", kind, "-o", "-"] + list(options) + [path])
    return without_ids([json.loads(line) for line in out.splitlines()])


def command_line_counts(path, *options):
    summary = str(path) + ".summary"
    convert(["--warc", "--format", "jsonl", "--article", "-o", "/dev/null", "--summary", summary] + list(options) +
            [str(path)])
    with open(summary) as f:
        counts = json.load(f)
    return {name: counts[name] for name in quillan.read_warc(io.BytesIO(b"")).counts}


def test_read_warc_gives_the_command_lines_records(tmp_path):
    plain = tmp_path / "pages.warc"
    plain.write_bytes(b"".join(archive_records()))
    packed = tmp_path / "pages.warc.gz"
    packed.write_bytes(b"".join(gzip.compress(r) for r in archive_records()))
    expected = command_line_records(str(plain), "--max-size", "50000")
    counts = command_line_counts(plain, "--max-size", "50000")
    assert len(expected) >= 10 and counts["too_large"] >= 1
    for source in (str(plain), plain, packed, io.BytesIO(plain.read_bytes()), io.BytesIO(packed.read_bytes())):
        pages = quillan.read_warc(source, max_size=50000)
        assert without_ids(list(pages)) == expected, source
        assert {**pages.counts, "bytes_in": 0} == {**counts, "bytes_in": 0}
    with open(packed, "rb") as f:
        got = without_ids(list(quillan.read_warc(f, kind="readable", metadata=True, markdown=True)))
    assert got == command_line_records(str(packed), "--metadata", "--markdown", kind="--readable")


def test_a_damaged_archive_gives_its_sound_records_then_archive_error(tmp_path):
    records = archive_records()
    cut = tmp_path / "cut.warc"
    cut.write_bytes(b"".join(records[:6]) + records[6][:len(records[6]) // 2])
    garbled = tmp_path / "garbled.warc.gz"
    whole = b"".join(gzip.compress(r) for r in records)
    garbled.write_bytes(whole[:3000] + b"\x00" * 64 + whole[3064:])
    for path in (cut, garbled):
        expected = command_line_records(str(path))
        got = []
        pages = quillan.read_warc(str(path))
        with pytest.raises(quillan.ArchiveError) as raised:
            for record in pages:
                got.append(record)
        assert without_ids(got) == expected
        assert "damaged record at offset" in str(raised.value)
        assert pages.counts["damaged"] >= 1
    assert list(quillan.read_warc(io.BytesIO(b""))) == []
    with pytest.raises(quillan.ArchiveError):
        list(quillan.read_warc(io.BytesIO(b"<html><p>not an archive</p></html>\n" * 10)))
    with pytest.raises(FileNotFoundError):
        quillan.read_warc(str(tmp_path / "none.warc"))
    with pytest.raises(TypeError):
        quillan.read_warc(12)


def test_a_file_objects_own_error_comes_through():
    class Failing(io.RawIOBase):
        def readable(self):
            return True

        def read(self, size=-1):
            raise PermissionError("no reading today")

    with pytest.raises(PermissionError, match="no reading today"):
        next(quillan.read_warc(Failing()))
