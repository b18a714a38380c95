#!/usr/bin/env python3
"""Joins the JSON outputs of the benchmark programs into one file.

Usage: merge-bench-json.py OUT IN...
The context is the first program's; every benchmark gets a "program" field naming the
program it came from.
"""
import json
import os
import sys


def main():
    out, inputs = sys.argv[1], sys.argv[2:]
    merged = {"context": None, "benchmarks": []}
    for path in inputs:
        with open(path) as f:
            data = json.load(f)
        if merged["context"] is None:
            merged["context"] = data.get("context", {})
        program = os.path.splitext(os.path.basename(path))[0]
        for b in data.get("benchmarks", []):
            b["program"] = program
            merged["benchmarks"].append(b)
    tmp = out + ".tmp"
    with open(tmp, "w") as f:
        json.dump(merged, f, indent=1)
    os.replace(tmp, out)


if __name__ == "__main__":
    main()
