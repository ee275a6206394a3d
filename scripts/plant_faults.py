#!/usr/bin/env python3
"""Plants single-token faults one at a time and reports which ones the tests catch.

Each line of a plant list names a file, a piece of its text and what that text
becomes:

    render/particles.cpp | q.z += p.jitter.z | q.z -= p.jitter.z

The first occurrence of the text is changed (give enough context to make it
the one meant; \\n stands for a line end). Blank lines and lines starting
with '#' are skipped. For each plant the file is changed, kelvo_tests is
rebuilt (-j2) and run; the file is then put back byte for byte, whatever
happens. A plant that does not build counts as neither caught nor missed.

    python3 scripts/plant_faults.py scripts/planted_faults.txt [--build build-test]
        [--only render/,motion/] [--timeout 900] [--check]

Prints one line per plant (CAUGHT with the failing tests, MISSED, NOBUILD, or
STALE when the text is no longer there) and a count per folder at the end.
--check only reports the stale ones.
"""
import argparse
import collections
import os
import re
import signal
import subprocess
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def read_plants(path):
    plants = []
    with open(path, encoding="utf-8") as f:
        for number, raw in enumerate(f, 1):
            line = raw.rstrip("\n")
            if not line.strip() or line.lstrip().startswith("#"):
                continue
            parts = line.split(" | ")
            if len(parts) != 3:
                sys.exit(f"{path}:{number}: want 'file | old | new'")
            old, new = (t.replace("\\n", "\n") for t in parts[1:])
            plants.append((number, parts[0].strip(), old, new))
    return plants


def run(command, timeout, cwd, env=None):
    try:
        p = subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=timeout, env=env)
        return p.returncode, p.stdout + p.stderr
    except subprocess.TimeoutExpired as e:
        out = (e.stdout or b"") + (e.stderr or b"")
        return "timeout", out.decode(errors="replace") if isinstance(out, bytes) else out


def run_tests(binary, shards, timeout, cwd, gtest_filter):
    """Runs the test binary in `shards` processes side by side: exit code and output."""
    base = dict(os.environ, ASAN_OPTIONS="detect_leaks=0:abort_on_error=1",
                UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1")
    processes = []
    for shard in range(shards):
        env = dict(base, GTEST_TOTAL_SHARDS=str(shards), GTEST_SHARD_INDEX=str(shard))
        command = [binary, "--gtest_brief=1", "--gtest_filter=" + gtest_filter]
        processes.append(subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                          text=True))
    code, out = 0, ""
    for p in processes:
        try:
            text, _ = p.communicate(timeout=timeout)
            code = code or p.returncode
        except subprocess.TimeoutExpired:
            p.kill()
            text, _ = p.communicate()
            code = "timeout"
        out += text
    return code, out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("plants")
    parser.add_argument("--source", default=ROOT, help="the source tree to plant in (a copy leaves this one free)")
    parser.add_argument("--build", default="build-test", help="its build directory, relative to the source tree")
    parser.add_argument("--shards", type=int, default=3, help="test processes run side by side")
    parser.add_argument("--only", default="", help="comma-separated path prefixes")
    parser.add_argument("--timeout", type=int, default=900, help="seconds for one test run")
    parser.add_argument("--check", action="store_true", help="only report plants whose text is missing")
    parser.add_argument("--from-line", type=int, default=0, help="skip the plants above this line of the list")
    parser.add_argument("--filter", default="*", help="gtest filter (for a quick look; counts need all tests)")
    args = parser.parse_args()
    # A stop puts the planted file back too (the `finally` below).
    signal.signal(signal.SIGTERM, lambda *_: sys.exit("stopped"))

    source = os.path.abspath(args.source)
    build = os.path.join(source, args.build)
    prefixes = [p for p in args.only.split(",") if p]
    plants = [p for p in read_plants(args.plants)
              if p[0] >= args.from_line and (not prefixes or any(p[1].startswith(x) for x in prefixes))]
    binary = os.path.join(build, "tests", "kelvo_tests")
    ninja = ["ninja", "-C", build, "-j2", "kelvo_tests"]
    counts = collections.defaultdict(collections.Counter)

    for number, path, old, new in plants:
        full = os.path.join(source, path)
        folder = path.split("/")[0]
        with open(full, "rb") as f:
            original = f.read()
        text = original.decode("utf-8")
        label = f"{path}:{number}: {old.strip()} => {new.strip()}".replace("\n", " ")
        if old not in text:
            print(f"STALE    {label}", flush=True)
            counts[folder]["stale"] += 1
            continue
        if args.check:
            continue
        try:
            with open(full, "wb") as f:
                f.write(text.replace(old, new, 1).encode("utf-8"))
            code, out = run(ninja, 1800, source)
            if code != 0:
                print(f"NOBUILD  {label}", flush=True)
                counts[folder]["nobuild"] += 1
                continue
            code, out = run_tests(binary, args.shards, args.timeout, build, args.filter)
            failed = sorted(set(re.findall(r"\[  FAILED  \] (\S+)", out)))
            if code == 0:
                print(f"MISSED   {label}", flush=True)
                counts[folder]["missed"] += 1
            else:
                why = ", ".join(failed[:6]) if failed else f"exit {code}"
                print(f"CAUGHT   {label}  [{why}]", flush=True)
                counts[folder]["caught"] += 1
        finally:
            with open(full, "wb") as f:
                f.write(original)

    print()
    for folder in sorted(counts):
        c = counts[folder]
        planted = c["caught"] + c["missed"]
        extra = "".join(f", {c[k]} {k}" for k in ("nobuild", "stale") if c[k])
        print(f"{folder}: {c['caught']} of {planted} caught{extra}")
    # Leave the build matching the restored sources.
    if not args.check:
        run(ninja, 1800, source)


if __name__ == "__main__":
    main()
