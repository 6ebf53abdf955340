#!/usr/bin/env python3
"""Prints each benchmark's time as a ratio of its baseline's, measured in the same run, from
Google Benchmark's JSON output files: the median of the repetitions where there are several
(bench/run.sh), else the one run. Usage: bench/ratios.py FILE.json..."""
import json
import sys

# benchmark -> its baseline; "/N" cases pair with the baseline of the same N.
BASELINES = {
    "load": "baseline_readdir",
    "create_taken_1000": "baseline_1000_lstat_plus_copy",
    "create_copy_256MiB": "cp_reflink_auto_256MiB",
    "refresh_20": "load_20",
    "refresh_20_with_cells": "load_20",
}

times = {}
for path in sys.argv[1:]:
    with open(path) as f:
        for run in json.load(f).get("benchmarks", []):
            if "error_occurred" in run:
                continue
            if run.get("run_type") == "aggregate":
                if run.get("aggregate_name") == "median":
                    times[run["run_name"]] = run["real_time"]
            else:
                times.setdefault(run["name"], run["real_time"])
for name, value in times.items():
    base, _, size = name.partition("/")
    baseline = BASELINES.get(base)
    if baseline and (baseline + ("/" + size if size else "")) in times:
        print(f"{name}: {value / times[baseline + ('/' + size if size else '')]:.2f} x {baseline}")
