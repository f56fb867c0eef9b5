#!/usr/bin/env python3
"""Helpers of outputs.sh: builds the web archive of a corpus, and splits the
archive road's outputs (WET, JSON Lines) into one digest per page."""

import gzip
import hashlib
import json
import os
import re
import sys
import uuid

# Every record gets this date, so that the archive, and what is written from
# it, is the same on every run.
FIXED_DATE = "2001-09-30T12:00:00Z"
NAMESPACE = uuid.UUID("6f1c1a52-3d4e-4bb8-9a0e-2c7f5a0d9e11")


def record_id(name):
    return "<urn:uuid:%s>" % uuid.uuid5(NAMESPACE, name)


def warc_record(fields, block):
    head = ["WARC/1.0"]
    head += ["%s: %s" % kv for kv in fields]
    head.append("Content-Length: %d" % len(block))
    data = ("\r\n".join(head) + "\r\n\r\n").encode("ascii") + block + b"\r\n\r\n"
    # A fixed mtime keeps the gzip header, and so the archive, the same.
    return gzip.compress(data, mtime=0)


def target_uri(corpus, page):
    return "http://%s.identity.test/%s" % (corpus, page)


def build_warc(out, corpus, pages_dir):
    pages = sorted(p for p in os.listdir(pages_dir) if p.endswith(".html"))
    with open(out, "wb") as f:
        info = b"software: outputs.sh\r\nformat: WARC File Format 1.0\r\n"
        f.write(warc_record([("WARC-Type", "warcinfo"),
                             ("WARC-Date", FIXED_DATE),
                             ("WARC-Record-ID", record_id("warcinfo/" + corpus)),
                             ("Content-Type", "application/warc-fields")], info))
        for page in pages:
            with open(os.path.join(pages_dir, page), "rb") as p:
                body = p.read()
            # No charset on the type: the program sniffs the encoding itself.
            http = (b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n"
                    b"Content-Length: %d\r\n\r\n" % len(body)) + body
            f.write(warc_record([("WARC-Type", "response"),
                                 ("WARC-Target-URI", target_uri(corpus, page)),
                                 ("WARC-Date", FIXED_DATE),
                                 ("WARC-Record-ID", record_id(corpus + "/" + page)),
                                 ("Content-Type", "application/http; msgtype=response")],
                                http))


def page_of(uri):
    return uri.rsplit("/", 1)[-1] if uri else "(no address)"


# The program gives every record it writes a random identifier, and its
# warcinfo record the time of the run: those two values are replaced by fixed
# ones before anything is digested. Everything else (the dates of conversion
# records, taken from the archive, the digests, the lengths) is kept as it is.
NORMAL_ID = b"<urn:uuid:00000000-0000-0000-0000-000000000000>"
RANDOM_ID = re.compile(rb"<urn:uuid:[0-9a-fA-F-]{36}>")
WET_ID = re.compile(rb"^(WARC-Record-ID: )<urn:uuid:[0-9a-fA-F-]{36}>(\r)$", re.M)
WET_INFO_DATE = re.compile(rb"^(WARC-Date: )[^\r\n]*(\r)$", re.M)
JSONL_ID = re.compile(rb'^(\{"id":")<urn:uuid:[0-9a-fA-F-]{36}>(")')


def split_wet(data):
    """Yields (page, bytes of its whole record, normalised) for every record."""
    pos = 0
    while pos < len(data):
        end = data.find(b"\r\n\r\n", pos)
        if end < 0:
            yield "(trailing bytes)", data[pos:]
            return
        head = data[pos:end + 2]
        fields = {}
        for line in head.decode("utf-8", "replace").split("\r\n")[1:]:
            name, _, value = line.partition(":")
            fields[name.strip().lower()] = value.strip()
        try:
            length = int(fields.get("content-length", ""))
        except ValueError:
            yield "(bad record)", data[pos:]
            return
        stop = end + 4 + length + 4
        kind = fields.get("warc-type", "?")
        head = WET_ID.sub(lambda m: m.group(1) + NORMAL_ID + m.group(2), head)
        if kind == "warcinfo":
            head = WET_INFO_DATE.sub(lambda m: m.group(1) + b"(time of the run)" + m.group(2), head)
            page = "(warcinfo record)"
        elif kind == "conversion":
            page = page_of(fields.get("warc-target-uri"))
        else:
            page = "(%s record)" % kind
        yield page, head + data[end + 2:stop]
        pos = stop


def split_jsonl(data):
    for line in data.splitlines(keepends=True):
        try:
            url = json.loads(line).get("url")
        except (ValueError, AttributeError):
            url = None
        yield page_of(url), JSONL_ID.sub(lambda m: m.group(1) + NORMAL_ID + m.group(2), line)


def digests(kind, path):
    """Prints a digest of the whole output, normalised, and one per page."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:2] == b"\x1f\x8b":
        data = gzip.decompress(data)
    split = split_wet if kind == "wet" else split_jsonl
    whole = hashlib.sha256()
    seen = {}
    lines = []
    for page, record in split(data):
        whole.update(record)
        n = seen.get(page, 0) + 1
        seen[page] = n
        name = page if n == 1 else "%s#%d" % (page, n)
        lines.append("%s\t%s" % (name, hashlib.sha256(record).hexdigest()))
    print("(whole output)\t%s" % whole.hexdigest())
    for line in lines:
        print(line)


def main(argv):
    if len(argv) == 4 and argv[0] == "warc":
        build_warc(argv[1], argv[2], argv[3])
    elif len(argv) == 3 and argv[0] == "split" and argv[1] in ("wet", "jsonl"):
        digests(argv[1], argv[2])
    else:
        sys.stderr.write("usage: identity.py warc OUT CORPUS PAGES_DIR\n"
                         "       identity.py split wet|jsonl OUTPUT\n")
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
