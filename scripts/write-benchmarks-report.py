#!/usr/bin/env python3
"""Writes BENCHMARKS.md from the JSON that the benchmark programs wrote in one run."""
import json
import pathlib
import platform
import sys

results_dir = pathlib.Path(sys.argv[1])
report = pathlib.Path(sys.argv[2])

lines = ["# Palvex benchmarks", ""]
lines.append("Written by `make bench` from one run of every benchmark program; every ratio compares two")
lines.append("figures measured in that same run.")
lines.append("")
context = None
sections = []
for path in sorted(results_dir.glob("*.json")):
    data = json.loads(path.read_text())
    context = context or data.get("context", {})
    rows = [b for b in data.get("benchmarks", []) if b.get("run_type", "iteration") == "iteration"]
    if not rows:
        continue
    section = ["## " + path.stem, "", "| benchmark | real time | CPU time | counters |", "|---|---|---|---|"]
    for b in rows:
        unit = b.get("time_unit", "ns")
        counters = ", ".join(
            "%s=%.4g" % (k, v) for k, v in b.items()
            if isinstance(v, (int, float)) and k not in (
                "real_time", "cpu_time", "iterations", "repetitions", "repetition_index", "threads",
                "family_index", "per_family_instance_index", "items_per_second", "bytes_per_second"))
        section.append("| %s | %.4g %s | %.4g %s | %s |" % (b["name"], b["real_time"], unit, b["cpu_time"], unit, counters))
    sections.append("\n".join(section))

if context:
    lines.append("Machine: %s, %s CPUs at %s MHz, %s; built %s." % (
        platform.node() or "host", context.get("num_cpus"), context.get("mhz_per_cpu"),
        platform.platform(), context.get("library_build_type", "")))
    lines.append("Run on %s." % context.get("date", ""))
    lines.append("")

targets_file = results_dir.parent.parent / "bench" / "targets.md"
if targets_file.exists():
    lines.append(targets_file.read_text().strip())
    lines.append("")

lines.extend(s + "\n" for s in sections)
report.write_text("\n".join(lines) + "\n")
