#!/usr/bin/env python3
"""Adds up the results of every suite and prints one closing line.

GoogleTest programs are counted by their test cases (their XML reports);
other CTest entries (fuzzers, set-up steps) and pytest cases one by one. A
CTest entry whose program wrote no report (a crash) counts as one failure.
"""
import pathlib
import sys
import xml.etree.ElementTree as ET


def gtest_counts(xml_dir):
    counts = {}
    for f in sorted(pathlib.Path(xml_dir).glob("*.xml")):
        root = ET.parse(f).getroot()
        tests = int(root.get("tests", 0))
        bad = int(root.get("failures", 0)) + int(root.get("errors", 0))
        skipped = int(root.get("disabled", 0)) + int(root.get("skipped", 0))
        counts[f.stem] = (tests - bad - skipped, bad, skipped)
    return counts


def junit_cases(path):
    root = ET.parse(path).getroot()
    for case in root.iter("testcase"):
        failed = case.find("failure") is not None or case.find("error") is not None
        skipped = case.find("skipped") is not None
        yield case.get("name"), failed, skipped


def main():
    results = pathlib.Path(sys.argv[1])
    gtest = {}
    for d in sys.argv[2:]:
        for name, c in gtest_counts(d).items():
            gtest[(d, name)] = c
    passed = failed = skipped = 0
    for d, name in gtest:
        p, f, s = gtest[(d, name)]
        passed, failed, skipped = passed + p, failed + f, skipped + s
    for tree, xml_dir in (("asan", "build/asan/test-results"), ("win", "build/win/test-results"),
                          ("fuzz", None)):
        path = results / f"ctest-{tree}.xml"
        if not path.exists():
            continue
        for name, bad, skip in junit_cases(path):
            if name == "wineprefix-setup":
                continue
            if xml_dir and (xml_dir, name) in gtest:
                if bad and gtest[(xml_dir, name)][1] == 0:
                    failed += 1   # the program failed outside its test cases
                continue
            if skip:
                skipped += 1
            elif bad:
                failed += 1
            else:
                passed += 1
    e2e = results / "e2e.xml"
    if e2e.exists():
        for _, bad, skip in junit_cases(e2e):
            if skip:
                skipped += 1
            elif bad:
                failed += 1
            else:
                passed += 1
    line = f"{passed} passed, {failed} failed"
    if skipped:
        line += f", {skipped} skipped"
    print(line)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
