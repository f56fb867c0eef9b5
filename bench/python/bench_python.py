#!/usr/bin/env python3
"""Pages per second from Python (the module quillan) against the command
line's roads: one quillan-convert per page, and one quillan-convert --warc
over an archive of the same pages; then two threads against one, and
two processes against one (what the machine itself gives two workers,
the bound for the threads).

    bench_python.py [BUILD_DIR] [PAGES_DIR] [--kind article|readable|stripped] [--rounds N]

BUILD_DIR defaults to build/ (its python/ holds the module, bin/ the
program), PAGES_DIR to ../shared/extraction-corpus/pages. Not run by make
test. Every figure is the best of N rounds (default 3); the machine's load
average is printed beside them, since other work on it lowers them all.
"""
import argparse
import concurrent.futures
import multiprocessing
import os
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "bench", "identity"))
import identity  # noqa: E402  (builds the archive as outputs.sh does)


def best(rounds, run):
    times = []
    for _ in range(rounds):
        start = time.perf_counter()
        run()
        times.append(time.perf_counter() - start)
    return min(times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", nargs="?", default=os.path.join(ROOT, "build"))
    parser.add_argument("pages", nargs="?", default=os.path.join(ROOT, "..", "shared", "extraction-corpus", "pages"))
    parser.add_argument("--kind", default="article", choices=["article", "readable", "stripped"])
    parser.add_argument("--rounds", type=int, default=3)
    args = parser.parse_args()

    sys.path.insert(0, os.path.join(args.build, "python"))
    import quillan

    convert = os.path.join(args.build, "bin", "quillan-convert")
    option = {"article": ["--article"], "readable": ["--readable"], "stripped": []}[args.kind]
    names = sorted(p for p in os.listdir(args.pages) if p.endswith(".html"))
    paths = [os.path.join(args.pages, p) for p in names]
    pages = []
    for path in paths:
        with open(path, "rb") as f:
            pages.append(f.read())
    n = len(pages)
    megabytes = sum(map(len, pages)) / 1e6
    print("%d pages, %.1f MB, kind %s, best of %d rounds; load average %.2f %.2f %.2f on %d cores" %
          ((n, megabytes, args.kind, args.rounds) + os.getloadavg() + (os.cpu_count(),)))

    def module_one_thread():
        for page in pages:
            quillan.to_text(page, kind=args.kind)

    def command_per_page():
        for path in paths:
            subprocess.run([convert] + option + ["-o", "-", path], stdout=subprocess.DEVNULL, check=True)

    with tempfile.TemporaryDirectory() as tmp:
        warc = os.path.join(tmp, "pages.warc.gz")
        identity.build_warc(warc, "bench", args.pages)

        def command_archive():
            subprocess.run([convert, "--warc", "--format", "jsonl"] + option + ["-o", "-", warc],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)

        def module_archive():
            for _ in quillan.read_warc(warc, kind=args.kind):
                pass

        rows = [
            ("quillan.to_text, one thread", best(args.rounds, module_one_thread)),
            ("quillan-convert, one process per page", best(args.rounds, command_per_page)),
            ("quillan.read_warc, one archive", best(args.rounds, module_archive)),
            ("quillan-convert --warc, one archive", best(args.rounds, command_archive)),
        ]
    for what, seconds in rows:
        print("  %-40s %8.1f pages/s  %6.2f s" % (what, n / seconds, seconds))

    # Two threads against one, on twice the pages so that each thread has
    # the whole corpus, five times over so that a round lasts long enough
    # to measure.
    def corpus_five_times():
        for _ in range(5):
            module_one_thread()

    def threads(count):
        def run():
            with concurrent.futures.ThreadPoolExecutor(count) as pool:
                list(pool.map(lambda _: corpus_five_times(), range(count)))
        return run

    # Beside the speed-up, the cores the process kept busy (its processor
    # time over the wall time): above 1 only when the threads converted at
    # once, whatever else loads the machine.
    def cores(run):
        before, start = os.times(), time.perf_counter()
        run()
        after, wall = os.times(), time.perf_counter() - start
        return (after.user + after.system - before.user - before.system) / wall

    # The same work in processes of their own, which share nothing: what
    # this machine gives two of anything at once, the bound for threads.
    fork = multiprocessing.get_context("fork")

    def processes(count):
        def run():
            workers = [fork.Process(target=corpus_five_times) for _ in range(count)]
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()
        return run

    one = best(args.rounds, threads(1))
    two = best(args.rounds, threads(2))
    alone = best(args.rounds, processes(1))
    pair = best(args.rounds, processes(2))
    print("  %-40s %8.1f pages/s  (%.2f cores busy)" % ("quillan.to_text, 1 thread", 5 * n / one, cores(threads(1))))
    print("  %-40s %8.1f pages/s  (%.2fx one thread, %.2f cores busy)" %
          ("quillan.to_text, 2 threads", 10 * n / two, 2 * one / two, cores(threads(2))))
    print("  %-40s %8.1f pages/s" % ("quillan.to_text, 1 process", 5 * n / alone))
    print("  %-40s %8.1f pages/s  (%.2fx one process: the machine's bound)" %
          ("quillan.to_text, 2 processes", 10 * n / pair, 2 * alone / pair))
    print("  threads reach %.0f%% of what processes reach" % (100 * (2 * one / two) / (2 * alone / pair)))
    print("load average after: %.2f %.2f %.2f" % os.getloadavg())


if __name__ == "__main__":
    main()
