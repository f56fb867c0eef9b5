#!/usr/bin/python3
"""quillan-crawl on a real Dask cluster: a `dask scheduler` and two
`dask worker` processes started here on 127.0.0.1.

Eight archives are converted and their outputs compared record by record
with quillan-convert --warc run on each archive here; then the same job
with one worker killed while it converts: every output still complete and
the same, no fresh file left; then a re-run that does nothing.

Usage: crawl_test.py QUILLAN_CRAWL QUILLAN_CONVERT TEXT_CORPUS_DIR
"""
import gzip
import json
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
import zlib

CRAWL = CONVERT = CORPUS = None
TIMEOUT = 240


def wait_for(condition, what, timeout=TIMEOUT):
    deadline = time.monotonic() + timeout
    while not condition():
        if time.monotonic() > deadline:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(0.02)


def records_of(path):
    """(url, text) of every conversion record of a WET output, in order."""
    data = b""
    with open(path, "rb") as f:
        raw = f.read()
    while raw:
        d = zlib.decompressobj(16 + zlib.MAX_WBITS)
        data += d.decompress(raw)
        raw = d.unused_data
    out = []
    pos = 0
    while pos < len(data):
        end = data.index(b"\r\n\r\n", pos)
        fields = dict(l.split(": ", 1) for l in data[pos:end].decode().split("\r\n")[1:])
        n = int(fields["Content-Length"])
        if fields["WARC-Type"] == "conversion":
            out.append((fields["WARC-Target-URI"], data[end + 4:end + 4 + n]))
        pos = end + 8 + n
    return out


def command_of(pid):
    with open(f"/proc/{pid}/comm") as f:
        return f.read().strip()


def make_archive(path, index, pages):
    with open(path, "wb") as f:
        for n in range(24):
            page = pages[(index * 5 + n) % len(pages)]
            http = b"HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n" + page
            head = (f"WARC/1.0\r\nWARC-Type: response\r\nWARC-Target-URI: http://site{index}.test/{n}.html\r\n"
                    f"WARC-Date: 2024-05-01T12:00:00Z\r\n"
                    f"WARC-Record-ID: <urn:uuid:00000000-0000-4000-8000-{index:04d}{n:08d}>\r\n"
                    f"Content-Type: application/http; msgtype=response\r\nContent-Length: {len(http)}\r\n\r\n")
            f.write(gzip.compress(head.encode() + http + b"\r\n\r\n", 1))


class CrawlTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="quillan-crawl-")
        pages_dir = os.path.join(CORPUS, "pages")
        pages = []
        for name in sorted(os.listdir(pages_dir)):
            with open(os.path.join(pages_dir, name), "rb") as f:
                pages.append(f.read())
        cls.archives = []
        for i in range(8):
            path = os.path.join(cls.work, f"crawl-{i}.warc.gz")
            make_archive(path, i, pages)
            cls.archives.append(path)
        # The reference: each archive on one machine.
        cls.reference = {}
        for a in cls.archives:
            out = a + ".reference.wet.gz"
            subprocess.run([CONVERT, "--warc", "--readable", "-q", a, "-o", out], check=True, timeout=TIMEOUT,
                           stderr=subprocess.DEVNULL)
            cls.reference[os.path.basename(a).replace(".warc.gz", ".wet.gz")] = records_of(out)
            os.remove(out)

        cls.scheduler_file = os.path.join(cls.work, "scheduler.json")
        cls.procs = []
        cls.scheduler = cls.start(["dask", "scheduler", "--host", "127.0.0.1", "--port", "0", "--no-dashboard",
                                   "--scheduler-file", cls.scheduler_file])
        wait_for(lambda: os.path.exists(cls.scheduler_file) and os.path.getsize(cls.scheduler_file) > 0,
                 "the scheduler")
        with open(cls.scheduler_file) as f:
            cls.address = json.load(f)["address"]
        cls.workers = [cls.start_worker(), cls.start_worker()]
        cls.wait_for_workers(2)

    @classmethod
    def start(cls, argv):
        log = open(os.path.join(cls.work, f"proc-{len(cls.procs)}.log"), "wb")
        proc = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
                                cwd=cls.work)
        cls.procs.append(proc)
        return proc

    @classmethod
    def start_worker(cls):
        return cls.start(["dask", "worker", cls.address, "--nworkers", "1", "--nthreads", "1", "--no-dashboard",
                          "--host", "127.0.0.1", "--local-directory", os.path.join(cls.work, "dask")])

    @classmethod
    def wait_for_workers(cls, n):
        from distributed import Client
        with Client(cls.address, timeout=60) as client:
            client.wait_for_workers(n, timeout=TIMEOUT)

    @classmethod
    def tearDownClass(cls):
        for proc in cls.procs:
            if proc.poll() is None:
                os.killpg(proc.pid, signal.SIGTERM)
        for proc in cls.procs:
            try:
                proc.wait(timeout=30)
            except subprocess.TimeoutExpired:
                os.killpg(proc.pid, signal.SIGKILL)
        shutil.rmtree(cls.work, ignore_errors=True)

    def crawl(self, out, wait=True):
        argv = [CRAWL, "--scheduler", self.address, "--readable", "--convert", CONVERT, "-o", out] + self.archives
        if not wait:
            return subprocess.Popen(argv, stderr=subprocess.PIPE)
        return subprocess.run(argv, stderr=subprocess.PIPE, timeout=TIMEOUT)

    def check_outputs(self, out):
        self.assertEqual(sorted(os.listdir(out)), sorted(self.reference))
        for name, records in self.reference.items():
            self.assertEqual(records_of(os.path.join(out, name)), records, name)

    def test_job_killed_worker_and_rerun(self):
        # A whole job.
        out = os.path.join(self.work, "out-1")
        result = self.crawl(out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.check_outputs(out)
        self.assertIn(b"8 archives: 8 converted, 0 already complete, 0 failed; 192 records, 192 pages converted",
                      result.stderr)

        # The same job, a worker killed while it converts an archive.
        out = os.path.join(self.work, "out-2")
        crawl = self.crawl(out, wait=False)
        victim = self.workers[0]

        def converting():
            # The victim's group holds a quillan-convert at work.
            for pid in os.listdir("/proc"):
                if pid.isdigit():
                    try:
                        if os.getpgid(int(pid)) == victim.pid and command_of(pid) == "quillan-convert":
                            return True
                    except (OSError, ProcessLookupError):
                        pass
            return False

        wait_for(converting, "the first worker to convert an archive")
        for pid in os.listdir("/proc"):
            if pid.isdigit():
                try:
                    if os.getpgid(int(pid)) == victim.pid and command_of(pid) != "quillan-convert":
                        os.kill(int(pid), signal.SIGKILL)  # the nanny and the worker, not their convert
                except (OSError, ProcessLookupError):
                    pass
        _, errors = crawl.communicate(timeout=TIMEOUT)
        self.assertEqual(crawl.returncode, 0, errors)
        wait_for(lambda: not converting(), "the killed worker's convert process to end")
        self.check_outputs(out)
        self.assertIn(b"8 archives: 8 converted", errors)

        # Run again: nothing to do, nothing touched.
        before = {n: os.stat(os.path.join(out, n)).st_mtime_ns for n in os.listdir(out)}
        result = self.crawl(out)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"8 archives: 0 converted, 8 already complete, 0 failed; 0 records", result.stderr)
        self.assertEqual({n: os.stat(os.path.join(out, n)).st_mtime_ns for n in os.listdir(out)}, before)


if __name__ == "__main__":
    CRAWL, CONVERT, CORPUS = sys.argv[1], sys.argv[2], sys.argv[3]
    unittest.main(argv=sys.argv[:1], verbosity=2)
