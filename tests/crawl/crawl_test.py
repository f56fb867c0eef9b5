#!/usr/bin/python3
"""quillan-crawl on a real Dask cluster: a `dask scheduler` and two
`dask worker` processes started here on 127.0.0.1.

Eight archives are converted and their outputs compared record by record
with quillan-convert --warc run on each archive here; then the same job
with one worker killed while it converts: every output still complete and
the same, no fresh file left; then a re-run that does nothing. Then the
other cases, each in its own test. The scheduler fails a task once two
workers died running it (not four), so that such a task fails in seconds.

Usage: crawl_test.py QUILLAN_CRAWL QUILLAN_CONVERT TEXT_CORPUS_DIR
"""
import gzip
import json
import os
import shutil
import signal
import socket
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


def converting(archive):
    """Whether a quillan-convert at work has archive on its command line."""
    for pid in os.listdir("/proc"):
        try:
            with open(f"/proc/{pid}/cmdline", "rb") as f:
                argv = f.read().split(b"\0")
            if pid.isdigit() and command_of(pid) == "quillan-convert" and archive.encode() in argv:
                return True
        except OSError:
            pass
    return False


def write_script(path, text):
    with open(path, "w") as f:
        f.write(text)
    os.chmod(path, 0o755)
    return path


def tasks_wanted(dask_scheduler):
    """How many clients want a crawl's task, summed over its tasks (run on the scheduler)."""
    return sum(len(ts.who_wants) for key, ts in dask_scheduler.tasks.items() if str(key).startswith("quillan-crawl-"))


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
                                   "--scheduler-file", cls.scheduler_file],
                                  env=dict(os.environ, DASK_DISTRIBUTED__SCHEDULER__ALLOWED_FAILURES="1"))
        wait_for(lambda: os.path.exists(cls.scheduler_file) and os.path.getsize(cls.scheduler_file) > 0,
                 "the scheduler")
        with open(cls.scheduler_file) as f:
            cls.address = json.load(f)["address"]
        cls.workers = [cls.start_worker(), cls.start_worker()]
        cls.wait_for_workers(2)

    @classmethod
    def start(cls, argv, env=None):
        log = open(os.path.join(cls.work, f"proc-{len(cls.procs)}.log"), "wb")
        proc = subprocess.Popen(argv, stdout=log, stderr=subprocess.STDOUT, start_new_session=True,
                                cwd=cls.work, env=env)
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

    def setUp(self):
        # Two workers for every test: one killed for good by a test is replaced.
        for i, worker in enumerate(self.workers):
            if worker.poll() is not None:
                self.workers[i] = self.start_worker()
        self.wait_for_workers(2)
        self.scratch = tempfile.mkdtemp(dir=self.work)

    def run_crawl(self, *args, timeout=TIMEOUT):
        argv = [CRAWL, "--scheduler", self.address, "--convert", CONVERT] + list(args)
        result = subprocess.run(argv, stderr=subprocess.PIPE, timeout=timeout, text=True)
        self.assertNotIn("Traceback", result.stderr)
        return result

    def reference_of(self, archive, *options):
        out = os.path.join(self.scratch, "reference.wet.gz")
        # Not checked: quillan-convert may end with 1 for damaged records it skipped.
        subprocess.run([CONVERT, "--warc", "-q", archive, "-o", out] + list(options), timeout=TIMEOUT,
                       stderr=subprocess.DEVNULL)
        records = records_of(out)
        os.remove(out)
        return records

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

    def test_article_and_max_size(self):
        # --article passed on, taken over --readable given with it as
        # quillan-convert takes them; --max-size in the form quillan-convert reads.
        archives = self.archives[:2]
        names = [os.path.basename(a).replace(".warc.gz", ".wet.gz") for a in archives]
        article = {n: self.reference_of(a, "--article", "--max-size", "256k") for n, a in zip(names, archives)}
        self.assertNotEqual(article[names[0]], self.reference_of(archives[0], "--readable", "--max-size", "256k"))
        self.assertLess(sum(map(len, article.values())), 48)  # some pages over the size
        for n, kind in enumerate((["--article"], ["--readable", "--article"], ["--article", "--readable"])):
            out = os.path.join(self.scratch, f"out-{n}")
            result = self.run_crawl(*kind, "--max-size", "256K", "-o", out, *archives)
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertEqual(sorted(os.listdir(out)), sorted(names))
            for name, records in article.items():
                self.assertEqual(records_of(os.path.join(out, name)), records, (kind, name))
        # The article's options passed on.
        options = ["--article", "--recall", "--comments"]
        fuller = {n: self.reference_of(a, *options, "--max-size", "256k") for n, a in zip(names, archives)}
        self.assertNotEqual(fuller, article)
        out = os.path.join(self.scratch, "out-fuller")
        result = self.run_crawl(*options, "--max-size", "256K", "-o", out, *archives)
        self.assertEqual(result.returncode, 0, result.stderr)
        for name, records in fuller.items():
            self.assertEqual(records_of(os.path.join(out, name)), records, name)

    def test_markdown_and_metadata(self):
        # --markdown and --metadata passed on as quillan-convert takes them:
        # the same records (but their fresh ids) as it writes here.
        archive = self.archives[3]

        def jsonl_of(path):
            with gzip.open(path) as f:
                return [(r["url"], r["text"], r["metadata"]) for r in map(json.loads, f)]

        reference = os.path.join(self.scratch, "reference.jsonl.gz")
        options = ["--format", "jsonl", "--markdown", "--metadata"]
        subprocess.run([CONVERT, "--warc", "-q", archive, "-o", reference] + options, timeout=TIMEOUT, check=True,
                       stderr=subprocess.DEVNULL)
        expected = jsonl_of(reference)
        self.assertTrue(any("\n#" in text for _, text, _ in expected))  # Markdown headings
        self.assertTrue(any("title" in metadata for _, _, metadata in expected))
        out = os.path.join(self.scratch, "out")
        result = self.run_crawl(*options, "-o", out, archive)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(jsonl_of(os.path.join(out, "crawl-3.jsonl.gz")), expected)

    def test_two_jobs_on_one_archive(self):
        # Job a's task waits (its converter held back) while job b, with
        # another output folder and other options, sends the same archive.
        archive = self.archives[2]
        go = os.path.join(self.scratch, "go")
        held = write_script(os.path.join(self.scratch, "held-convert"), f"""#!/bin/sh
n=0
while [ ! -e {go} ] && [ $n -lt 2400 ]; do sleep 0.05; n=$((n + 1)); done
exec {CONVERT} "$@"
""")
        jobs = {}
        for name, options in (("a", []), ("b", ["--readable", "--format", "jsonl"])):
            out = os.path.join(self.scratch, name)
            jobs[name] = subprocess.Popen([CRAWL, "--scheduler", self.address, "--convert", held, "-o", out] +
                                          options + [archive], stderr=subprocess.PIPE, text=True)
        from distributed import Client
        with Client(self.address, timeout=60) as client:
            wait_for(lambda: client.run_on_scheduler(tasks_wanted) == 2, "both jobs to send their task", 60)
        open(go, "w").close()
        for name, job in jobs.items():
            _, errors = job.communicate(timeout=TIMEOUT)
            self.assertEqual(job.returncode, 0, errors)
            self.assertIn("1 archives: 1 converted, 0 already complete, 0 failed", errors)
        self.assertEqual(records_of(os.path.join(self.scratch, "a", "crawl-2.wet.gz")), self.reference_of(archive))
        with gzip.open(os.path.join(self.scratch, "b", "crawl-2.jsonl.gz")) as b:
            self.assertEqual([(r["url"], r["text"].encode()) for r in map(json.loads, b)],
                             self.reference["crawl-2.wet.gz"])

        # A converter that ends well and writes nothing: that output missing fails.
        out = os.path.join(self.scratch, "c")
        result = self.run_crawl("--convert", "/bin/true", "-o", out, archive)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(f"{archive}: failed (no output at {out}/crawl-2.wet.gz after the conversion)", result.stderr)
        self.assertIn("1 archives: 0 converted, 0 already complete, 1 failed", result.stderr)

    def test_damaged_and_missing_archives(self):
        damaged = os.path.join(self.scratch, "damaged.warc.gz")
        with open(self.archives[3], "rb") as f:
            data = f.read()
        with open(damaged, "wb") as f:
            f.write(data[:-100])  # the last record's gzip member cut short
        sound = self.archives[4]
        missing = os.path.join(self.scratch, "missing.warc.gz")
        # A converter that ends with status 1 when it skipped damaged records,
        # its output written all the same.
        strict = write_script(os.path.join(self.scratch, "strict-convert"), f"""#!/usr/bin/python3
import re, subprocess, sys
result = subprocess.run([{CONVERT!r}] + sys.argv[1:], stderr=subprocess.PIPE)
sys.stderr.buffer.write(result.stderr)
damaged = re.search(rb"(\\d+) damaged;", result.stderr)
sys.exit(1 if result.returncode == 0 and damaged and int(damaged.group(1)) else result.returncode)
""")
        expected = self.reference_of(damaged, "--readable")
        self.assertEqual(len(expected), 23)
        for convert in (CONVERT, strict):
            out = os.path.join(self.scratch, "out-" + os.path.basename(convert))
            result = self.run_crawl("--convert", convert, "--readable", "-o", out, sound, damaged, missing)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertIn(f"{damaged}: converted, 1 damaged record skipped", result.stderr)
            self.assertIn(f"{missing}: failed (status 1)", result.stderr)
            self.assertIn("3 archives: 2 converted (1 with damaged records), 0 already complete, 1 failed; "
                          "48 records, 47 pages converted, 0 skipped, 1 damaged;", result.stderr)
            self.assertEqual(sorted(os.listdir(out)), ["crawl-4.wet.gz", "damaged.wet.gz"])
            self.assertEqual(records_of(os.path.join(out, "damaged.wet.gz")), expected)

            # Run again: only the missing archive tried again.
            result = self.run_crawl("--convert", convert, "--readable", "-o", out, sound, damaged, missing)
            self.assertEqual(result.returncode, 1, result.stderr)
            self.assertIn("3 archives: 0 converted, 2 already complete, 1 failed", result.stderr)

    def test_blocking_archive_timed_out_and_interrupted(self):
        fifo = os.path.join(self.scratch, "stuck.warc.gz")
        os.mkfifo(fifo)
        out = os.path.join(self.scratch, "out")
        result = self.run_crawl("--task-timeout", "1.5", "-o", out, fifo, self.archives[5], timeout=60)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(f"{fifo}: failed (timed out after 1.5 s)", result.stderr)
        self.assertIn("2 archives: 1 converted, 0 already complete, 1 failed", result.stderr)
        self.assertEqual(os.listdir(out), ["crawl-5.wet.gz"])  # no fresh file left

        # Ctrl+C while the archive blocks: one line, status 130.
        job = subprocess.Popen([CRAWL, "--scheduler", self.address, "--convert", CONVERT, "-o", out + "-2", fifo],
                               stderr=subprocess.PIPE, text=True, start_new_session=True)
        try:
            wait_for(lambda: converting(fifo), "the archive to be converted")
            os.killpg(job.pid, signal.SIGINT)
            _, errors = job.communicate(timeout=60)
        finally:
            if job.poll() is None:
                job.kill()
        self.assertEqual(job.returncode, 130, errors)
        self.assertEqual(errors.splitlines()[0],
                         "quillan-crawl: interrupted; running the job again goes on where it stopped")
        self.assertNotIn("Traceback", errors)
        # The converter still waits on the worker: let it read an empty archive.
        os.close(os.open(fifo, os.O_WRONLY | os.O_NONBLOCK))
        wait_for(lambda: not converting(fifo), "the converter to end")

    def test_task_whose_workers_die(self):
        doomed = os.path.join(self.scratch, "doomed.warc.gz")
        shutil.copy(self.archives[6], doomed)
        killer = write_script(os.path.join(self.scratch, "killer-convert"), "#!/bin/sh\nkill -KILL $PPID\n")
        result = self.run_crawl("--convert", killer, "-o", os.path.join(self.scratch, "out"), doomed)
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn(f"{doomed}: failed (the workers running it died 2 times)", result.stderr)

    def test_wrong_command_lines(self):
        file = os.path.join(self.scratch, "file")
        open(file, "w").close()
        for args, message in ((["-o", file], f"the output folder {file} is a file"),
                              (["-o", os.path.join(file, "texts")], "cannot be made: Not a directory"),
                              (["--max-size", "abc"], "needs a size such as 1048576, 512k, 64M or 2G, not 'abc'"),
                              (["--max-size", "1T"], "not '1T'"),
                              (["--max-size", "9" * 19], "not '" + "9" * 19 + "'"),
                              (["--task-timeout", "0"], "needs a number of seconds above 0, not '0'"),
                              (["--metadata"], "--metadata needs --format jsonl"),
                              (["--metadata", "--format", "wet"], "--metadata needs --format jsonl"),
                              (["--readable", "--comments"], "--comments, --precision and --recall go with --article"),
                              (["--article", "--precision", "--recall"], "not allowed with argument --precision")):
            argv = args if args[0] == "-o" else args + ["-o", os.path.join(self.scratch, "out")]
            result = self.run_crawl(*argv, self.archives[0], timeout=60)
            self.assertEqual(result.returncode, 2, (args, result.stderr))
            self.assertIn(message, result.stderr)
        self.assertFalse(os.path.exists(os.path.join(self.scratch, "out")))

    def test_scheduler_out_of_reach(self):
        with socket.socket() as s:  # a port nothing listens on
            s.bind(("127.0.0.1", 0))
            address = "tcp://127.0.0.1:%d" % s.getsockname()[1]
        result = subprocess.run([CRAWL, "--scheduler", address, "--convert", CONVERT, "-o",
                                 os.path.join(self.scratch, "unreached"), self.archives[0]],
                                stderr=subprocess.PIPE, timeout=60, text=True,
                                env=dict(os.environ, DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT="2s"))
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertNotIn("Traceback", result.stderr)
        self.assertIn(f"cannot reach the scheduler at {address}", result.stderr)


if __name__ == "__main__":
    CRAWL, CONVERT, CORPUS = sys.argv[1], sys.argv[2], sys.argv[3]
    unittest.main(argv=sys.argv[:1], verbosity=2)
