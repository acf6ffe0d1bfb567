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

# The headline figures, each against its baseline from the same run.
results = {}
for path in sorted(results_dir.glob("*.json")):
    for b in json.loads(path.read_text()).get("benchmarks", []):
        if b.get("run_type", "iteration") == "aggregate" and b.get("aggregate_name") != "min":
            continue
        results.setdefault(path.stem, {})[b["run_name"] if b.get("run_type") == "aggregate" else b["name"]] = b


def find(bench, prefix):
    for name, b in results.get(bench, {}).items():
        if name.startswith(prefix):
            return b
    return None


def ratio(a, b, key="cpu_time"):
    return a[key] / b[key] if a and b and b[key] else None


summary = ["## Summary", "", "| figure | measured | baseline (same run) | ratio | target |", "|---|---|---|---|---|"]
fixed_targets = {"Mul": 1.5, "Div": 3.0, "DivLatency": 3.0, "Sin": 1.5, "Cos": 1.5, "Matrix4Multiply": 1.5,
                 "Vec3Normalize": 1.5, "Vec3Cross": 1.5}
for op in ["Mul", "Div", "DivLatency", "Sqrt", "SqrtLatency", "Sin", "Cos", "Matrix4Multiply", "Vec3Normalize", "Vec3Cross"]:
    f, g = find("bench_fixed", "Fixed_" + op), find("bench_fixed", "Float_" + op)
    r = ratio(f, g)
    if r is None:
        continue
    target = fixed_targets.get(op)
    verdict = "" if target is None else ("met" if r <= target else "missed")
    summary.append("| Fixed%s | %.3g ns | float %.3g ns | %.2f | %s %s |" % (
        op, f["cpu_time"], g["cpu_time"], r, ("<= %.1f" % target) if target else "-", verdict))
sq, dv = find("bench_fixed", "Fixed_SqrtLatency"), find("bench_fixed", "Fixed_DivLatency")
if sq and dv:
    r = ratio(sq, dv)
    summary.append("| FixedSqrt (chained) | %.3g ns | FixedDiv (chained) %.3g ns | %.2f | <= 6.5 %s |" % (
        sq["cpu_time"], dv["cpu_time"], r, "met" if r <= 6.5 else "missed"))
for case in ["MotionCapture", "Arena50k", "Arena100k", "Arena200k"]:
    ours, ref = find("bench_loader", "BM_AseLoader_" + case), find("bench_loader", "BM_Assimp_" + case)
    r = ratio(ref, ours, "real_time")
    if r:
        summary.append("| AseLoader %s | %.3g ms | assimp %.3g ms | %.1f x faster | >= 5 %s |" % (
            case, ours["real_time"], ref["real_time"], r, "met" if r >= 5 else "missed"))
a1, a2 = find("bench_loader", "BM_AseLoader_Arena100k"), find("bench_loader", "BM_AseLoader_Arena200k")
if a1 and a2:
    r = ratio(a2, a1, "real_time")
    summary.append("| AseLoader, file twice as large | %.3g ms | %.3g ms | %.2f | <= 2.2 %s |" % (
        a2["real_time"], a1["real_time"], r, "met" if r <= 2.2 else "missed"))
for name, b in sorted(results.get("bench_collide", {}).items()):
    if name.startswith("BM_Collide/"):
        ns = b.get("ns_per_quad", 0) * 1e9
        summary.append("| collide, %s quads | %.3g ns per quad | - | - | <= 1 ns %s |" % (
            int(b.get("quads", 0)), ns, "met" if ns <= 1 else "missed"))
bare = find("bench_race", "BM_BareFrame")
wall_kinds = {"0": "a fresh race's walls", "1": "zig-zags in view", "2": "lanes across the arena"}
for name, b in sorted(results.get("bench_race", {}).items()):
    if name.startswith("BM_RaceFrame") and bare:
        parts = name.split("/")
        detail, walls = parts[1], parts[2]
        culled = parts[3] if len(parts) > 3 and parts[3].isdigit() else "1"
        r = ratio(b, bare, "real_time")
        long_walls = walls != "0"
        target = ("<= 10 %s" % ("met" if r <= 10 else "missed")) if long_walls and culled == "1" else "-"
        summary.append("| race frame, detail %s, %s (%d quads, %d in view), %s | %.3g ms (CPU of all threads %.3g ms) | bare frame %.3g ms (%.3g ms) | %.1f | %s |" % (
            detail, wall_kinds.get(walls, walls), int(b.get("wall_quads", 0)), int(b.get("wall_quads_in_view", 0)),
            "walls culled" if culled == "1" else "walls drawn whole", b["real_time"] / 1000.0, b["cpu_time"] / 1000.0,
            bare["real_time"] / 1000.0, bare["cpu_time"] / 1000.0, r, target))
        if culled == "1":
            summary.append("| allocations per race frame, detail %s, %s (game code / driver) | %g / %g | - | - | 0 %s |" % (
                detail, wall_kinds.get(walls, walls), b.get("allocs_game", -1), b.get("allocs_driver", -1),
                "met" if b.get("allocs_game", 1) == 0 else "missed"))
for walls in ["1", "2"]:
    for culled, words in [("1", "culled"), ("0", "drawn whole")]:
        w = find("bench_race", "BM_WallDrawing/%s/%s/" % (walls, culled))
        if w:
            summary.append("| where the walls' drawing goes, %s, %s: the game's culling / glDrawArrays / waiting for the rasterizer | %s / %.4g / %.4g us | - | - | - |" % (
                wall_kinds[walls], words, ("%.3g" % w.get("culling_us", 0)) if culled == "1" else "-",
                w.get("draw_calls_us", 0), w.get("finish_wait_us", 0)))
for walls in ["1", "2"]:
    one, four = find("bench_views", "BM_RaceViews/%s/1/1/" % walls), find("bench_views", "BM_RaceViews/%s/4/1/" % walls)
    whole = find("bench_views", "BM_RaceViews/%s/4/0/" % walls)
    if one and four:
        r = ratio(four, one, "real_time")
        summary.append("| four views of a quarter each at 720 x 882, %s (%d quads, %d drawn), walls culled | %.3g ms (CPU of all threads %.3g ms) | one view of the whole %.3g ms (%.3g ms) | %.2f | <= 2.5 and < 16 ms %s |" % (
            wall_kinds[walls], int(four.get("wall_quads", 0)), int(four.get("wall_quads_drawn", 0)), four["real_time"],
            four["cpu_time"], one["real_time"], one["cpu_time"], r, "met" if r <= 2.5 and four["real_time"] < 16 else "missed"))
    if four and whole:
        summary.append("| the same four views, walls drawn whole (%d quads drawn) | %.3g ms (CPU of all threads %.3g ms) | culled %.3g ms (%.3g ms) | %.2f | - |" % (
            int(whole.get("wall_quads_drawn", 0)), whole["real_time"], whole["cpu_time"], four["real_time"], four["cpu_time"],
            ratio(whole, four, "real_time")))
entries = find("bench_race", "BM_GameEntries/200")
if entries:
    growth = entries.get("rss_growth_kB", 0)
    summary.append("| resident memory after 200 game entries | %+.0f kB | after one: %.0f kB | - | <= +1024 kB %s |" % (
        growth, entries.get("rss_after_1_kB", 0), "met" if growth <= 1024 else "missed"))
for bench, prefix, label in [("bench_arena", "BM_ArenaDraw_512_Culled", "game arena, start camera"),
                             ("bench_arena", "BM_ArenaDraw_100k_MidArena_Culled", "100k arena, mid-arena camera")]:
    b = find(bench, prefix)
    if b:
        summary.append("| leaves drawn, %s | %d of %d | - | - | - |" % (label, b.get("leaves_drawn", 0), b.get("leaves", 0)))
verify, rendered = find("bench_replay", "BM_VerifyReplay36k"), find("bench_replay", "BM_RenderedPlayback36k")
if verify:
    fps = verify.get("frames_per_second", 0)
    summary.append("| verify a 36 000-frame three-opponent replay (whole program) | %.0f ms, %.0f frames/s | %s | %s | <= 1 s, >= 36 000 frames/s (goal 200 000) %s |" % (
        verify["real_time"], fps,
        ("rendered headless playback %.0f ms, %.0f frames/s" % (rendered["real_time"], rendered.get("frames_per_second", 0))) if rendered else "-",
        ("%.0f x faster" % (rendered["real_time"] / verify["real_time"])) if rendered else "-",
        "met" if verify["real_time"] <= 1000 else "missed"))
race = find("bench_replay", "BM_Race3000RecordedAndNot")
if race:
    r = race["recorded_ms"] / race["not_recorded_ms"]
    noise = max(race["recorded_cv"], race["not_recorded_cv"])
    verdict = "within noise (runs spread %.1f %%)" % (100 * noise) if abs(r - 1) <= noise else \
        "recording costs %+.1f %% (runs spread %.1f %%)" % (100 * (r - 1), 100 * noise)
    summary.append("| 3000-frame headless race, recorded (mean of %d runs each, taking turns) | %.0f ms | not recorded %.0f ms | %.3f | %s |" % (
        race.get("iterations", 0), race["recorded_ms"], race["not_recorded_ms"], r, verdict))
recorder = find("bench_replay", "BM_RecorderPerFrame")
if recorder:
    summary.append("| the recorder's work per frame (with its once-a-second flush to disk) | %.3g us | - | - | - |" % (
        recorder["real_time"] / 1000.0))
start = find("bench_frame", "BM_StartupToFirstFrame")
if start:
    summary.append("| start-up to first frame (whole program, headless) | %.0f ms | - | - | - |" % start["real_time"])
for words, label in [("0", "toy state, 24 bytes"), ("96000", "race-sized state, 384 kB")]:
    rolled, plain = find("bench_net", "BM_AdvanceWithEightFrameRollback/" + words), find("bench_net", "BM_AdvanceWithoutRollback/" + words)
    if rolled and plain:
        summary.append("| rollback of 8 frames and the next frame, toy game, %s | %.3g us | frame without rollback %.3g us | %.1f | <= 500 us %s |" % (
            label, rolled["cpu_time"] / 1000.0 if rolled.get("time_unit") == "ns" else rolled["cpu_time"],
            plain["cpu_time"] / 1000.0 if plain.get("time_unit") == "ns" else plain["cpu_time"], ratio(rolled, plain),
            "met" if (rolled["cpu_time"] if rolled.get("time_unit") == "us" else rolled["cpu_time"] / 1000.0) <= 500 else "missed"))
def micros(b, key):
    return b[key] / 1000.0 if b.get("time_unit") == "ns" else b[key]
for turns, label in [("1000", "four walls of 2 000 quads"), ("500", "four walls of 1 000 quads")]:
    race_roll = find("bench_net", "BM_RaceRollbackOfEightFrames/" + turns)
    race_start = find("bench_net", "BM_RaceRollbackOfEightFrames/0")
    if race_roll:
        summary.append("| the race: load the state of 8 frames back, run them and the next again, saving each; %s (%.0f quads), snapshot %.0f kB | %.3g us | as the race starts %s | %s | <= 500 us %s |" % (
            label, race_roll.get("wall_quads", 0), race_roll.get("snapshot_bytes", 0) / 1000.0, micros(race_roll, "cpu_time"),
            ("%.3g us" % micros(race_start, "cpu_time")) if race_start else "-",
            ("%.0f" % ratio(race_roll, race_start)) if race_start else "-",
            "met" if micros(race_roll, "cpu_time") <= 500 else "missed"))
lines.extend(summary)
lines.append("")
# Fuzzing is not run by make bench: its figures stay in the file make fuzz's run was copied to.
lines.append("Fuzzing figures (executions per second per target): [docs/fuzzing.md](docs/fuzzing.md).")
lines.append("")
# Figures of a window, measured by bench/desktop-cpu.sh rather than by a benchmark program.
desktop_file = results_dir.parent.parent / "bench" / "desktop.md"
if desktop_file.exists():
    lines.append(desktop_file.read_text().strip())
    lines.append("")
lines.extend(s + "\n" for s in sections)
# Figures a benchmark wrote as text of its own go in as they are, below the tables, so
# that nothing measured in the run is lost when the report is written again; a top-level
# heading becomes a section's.
for path in sorted(results_dir.glob("*.md")):
    text = path.read_text().strip()
    if not text:
        continue
    if text.startswith("# "):
        text = "#" + text
    elif not text.startswith("## "):
        text = "## " + path.stem + "\n\n" + text
    lines.append(text + "\n")
report.write_text("\n".join(lines) + "\n")
