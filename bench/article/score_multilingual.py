#!/usr/bin/env python3
"""The article mode on the multilingual corpus, scored by the corpus's own
scorer over all pages, over each half (the even- and odd-numbered pages in
name order, the one to decide rules on and the one to confirm them) and per
top-level domain of the pages' addresses.

    score_multilingual.py [--halves] QUILLAN_CONVERT CORPUS [OPTION...]

OPTIONs go to quillan-convert after --article (--precision, --recall,
--comments...). Prints one row per group: pages, precision, recall, F1;
with --halves only all pages and the two halves.
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import urllib.parse


def domain_of(address):
    """The top-level domain of a page's address ("hard" for the set's pages
    kept by name only, whose addresses say "hard::")."""
    if address.startswith("hard::"):
        return "hard"
    host = urllib.parse.urlsplit(address).hostname or ""
    return host.rsplit(".", 1)[-1] if "." in host else "-"


def score(scorer, outputs, segments, work, name):
    """The corpus's scorer over `segments` alone: precision, recall, F1."""
    path = os.path.join(work, name + ".json")
    with open(path, "w", encoding="utf-8") as f:
        json.dump(segments, f, ensure_ascii=False)
    summary = subprocess.run([sys.executable, scorer, outputs, "--segments", path, "--worst", "0"],
                             capture_output=True, text=True, check=True).stdout.strip().splitlines()[-1]
    figures = dict(re.findall(r"(precision|recall|F1) ([0-9.]+)", summary))
    return float(figures["precision"]), float(figures["recall"]), float(figures["F1"])


def main():
    args = sys.argv[1:]
    halves_only = bool(args) and args[0] == "--halves"
    if halves_only:
        args = args[1:]
    if len(args) < 2:
        sys.exit(__doc__)
    convert, corpus, options = args[0], args[1], args[2:]
    scorer = os.path.join(corpus, "score_segments.py")
    with open(os.path.join(corpus, "segments.json"), encoding="utf-8") as f:
        segments = json.load(f)
    names = sorted(segments)

    with tempfile.TemporaryDirectory(prefix="quillan-multilingual-") as work:
        outputs = os.path.join(work, "out")
        os.mkdir(outputs)
        for name in names:
            subprocess.run([convert, "--article"] + options +
                           ["-o", os.path.join(outputs, name + ".txt"),
                            os.path.join(corpus, "pages", name + ".html")],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)

        groups = [("all", names), ("even half", names[0::2]), ("odd half", names[1::2])]
        by_domain = {}
        for name in names:
            by_domain.setdefault(domain_of(segments[name]["url"]), []).append(name)
        if not halves_only:
            groups += sorted((("." + d if d != "hard" else d), keys) for d, keys in by_domain.items())

        print("%-12s %5s %9s %9s %9s" % ("pages", "count", "precision", "recall", "F1"))
        for index, (label, keys) in enumerate(groups):
            p, r, f1 = score(scorer, outputs, {k: segments[k] for k in keys}, work, "group%d" % index)
            print("%-12s %5d %9.3f %9.3f %9.3f" % (label, len(keys), p, r, f1), flush=True)


if __name__ == "__main__":
    main()
