#!/usr/bin/env python3
"""junit-failures.py DIR RUNS: the summary of a repeated test run.

DIR holds one folder per build, each with the JUnit reports run1.xml ..
runN.xml that CTest wrote (--output-junit).  Prints, for each build, how
many runs passed whole, and every test that failed at least once with the
runs it failed in.  The output of each failure is written beside the
reports as <test>.<run>.log.  Exits 1 when a test failed or a report is
missing, else 0.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET


def failures(report):
    """(name, output) of each test that did not pass in one JUnit report."""
    root = ET.parse(report).getroot()
    for case in root.iter("testcase"):
        # CTest: status "run" passed, "fail" failed, "notrun"/"disabled" skipped.
        failed = case.get("status") == "fail" or case.find("failure") is not None
        if failed:
            out = case.findtext("system-out") or ""
            for tag in ("failure", "error"):
                for node in case.iter(tag):
                    out += "\n[%s] %s" % (tag, node.get("message", ""))
            yield case.get("name"), out


def main():
    if len(sys.argv) != 3:
        sys.exit("usage: junit-failures.py DIR RUNS")
    top, runs = sys.argv[1], int(sys.argv[2])
    bad = False
    print("=== repeat: %d runs" % runs)
    for build in sorted(os.listdir(top)):
        folder = os.path.join(top, build)
        if not os.path.isdir(folder):
            continue
        failed = {}
        whole = 0
        for run in range(1, runs + 1):
            report = os.path.join(folder, "run%d.xml" % run)
            if not os.path.exists(report):
                print("%s: run %d wrote no report" % (build, run))
                bad = True
                continue
            names = []
            for name, out in failures(report):
                names.append(name)
                safe = re.sub(r"[^A-Za-z0-9_.-]", "_", name)
                with open(os.path.join(folder, "%s.%d.log" % (safe, run)), "w") as f:
                    f.write(out)
                failed.setdefault(name, []).append(run)
            whole += not names
        print("%s: %d of %d runs passed whole" % (build, whole, runs))
        for name, which in sorted(failed.items()):
            bad = True
            print("  failed %d time(s): %s (runs %s; output in %s/%s.<run>.log)"
                  % (len(which), name, ",".join(map(str, which)), folder,
                     re.sub(r"[^A-Za-z0-9_.-]", "_", name)))
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
