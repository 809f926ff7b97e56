#!/usr/bin/env python3
"""The suite-down window of one destager run, read from its logs' own time stamps.

    downtime-window.py LOGS_FOLDER LABEL FILES WALL_MS LOAD_START LOAD_END CAT_MS OPEN_CLOSE_MS OPEN_READ_MS
        prints one "run" line of key=value figures (times in ms) and the waits it counted; CAT_MS is
        `cat` of the same client's files, timed just before the run; OPEN_CLOSE_MS and OPEN_READ_MS are
        what Wine makes the swapped-in client's files cost on one thread (open_floor) just after it
    downtime-window.py --summary FIGURES_FILE
        medians per label and size of every "run" line in the file, and each label against the first

The window starts just before the suite is stopped ("Destaging update, note that the old install
folder will be edited/broken from this point onward") and ends at the update's result
("machine.destageResult = [0]."). Inside it, the waits the update must make are counted from the
line announcing each one to the next line of the same thread, capped at the wait's length. Each
validation pass is timed from its first line to the next line of its thread; the first pass's reads
ahead of the window ("read_staged") are the time from the main thread's line before "Setting suite
as unavailable to third parties" to that line. Both passes are also given against `cat`.
"""
import collections
import os
import re
import statistics
import sys
from datetime import datetime, timezone

LINE = re.compile(r"^\s*\d+\t\[([^\]]+)\]\tPID:\s*\d+\tTID:\s*(\d+)\t(\S+)\s*\t\((.*?)\)\t(.*)$")

# Message pattern, what the wait is, and its longest length (ms) per announcing line.
WAITS = [
    (re.compile(r"^Waiting for service\.\.\.$"), "service stop poll pause (1 to 2 s)", 2000),
    (re.compile(r"detected service is in between states"), "service transition pauses (1 s, at most 5)", 5000),
    (re.compile(r"^Attempt #\d+ didn't successfully shut down all exes"), "process stop retry pause (1 s)", 1000),
    (re.compile(r"^Failed IO step while swapping client folders"), "folder step retry pause (1 s)", 1000),
]
# The suite's processes are ended and waited for, without a time limit, after the last of these.
PROCESS_LIST = re.compile(r"^(Adding suite process|Not stopping current process) ")


class Line:
    def __init__(self, match):
        stamp, tid, level, function, message = match.groups()
        self.ms = datetime.strptime(stamp, "%Y-%m-%dT%H:%M:%S.%fZ").replace(tzinfo=timezone.utc).timestamp() * 1000
        self.tid, self.level, self.function, self.message = tid, level, function, message.rstrip("\r")


def read_log(folder):
    # The verbose log holds every level; the main log stands in when it is missing.
    for name in ("KorvDestagerVerbose.log", "KorvDestager.log"):
        path = os.path.join(folder, name)
        if os.path.exists(path):
            with open(path, encoding="utf-8", errors="replace") as log:
                return [Line(m) for m in map(LINE.match, log) if m]
    sys.exit(f"downtime-window: no log in {folder}")


def first(lines, predicate, start=0):
    return next((i for i in range(start, len(lines)) if predicate(lines[i])), None)


def next_on_thread(lines, i):
    j = first(lines, lambda line: line.tid == lines[i].tid, i + 1)
    return lines[j].ms if j is not None else lines[i].ms


def window_bounds(lines):
    start = first(lines, lambda line: line.message.startswith("Destaging update, note that the old install"))
    if start is None:
        return None
    end = first(lines, lambda line: line.message == "machine.destageResult = [0].", start)
    return (start, end) if end is not None else None


def read_ahead(lines, start):
    unavailable = first(lines, lambda line: line.message == "Setting suite as unavailable to third parties")
    if unavailable is None or unavailable > start:
        return 0
    before = [i for i in range(unavailable) if lines[i].tid == lines[unavailable].tid]
    return lines[unavailable].ms - lines[before[-1]].ms if before else 0


def span_after(lines, predicate):
    i = first(lines, predicate)
    return next_on_thread(lines, i) - lines[i].ms if i is not None else 0


def analyse(folder, label, files, wall_ms, load_start, load_end, cat_ms, open_close_ms, open_read_ms):
    lines = read_log(folder)
    bounds = window_bounds(lines)
    if bounds is None:
        sys.exit(f"downtime-window: no destaging or no successful result in the log of {folder}")
    start, end = bounds
    inside = lines[start:end + 1]
    waits = collections.Counter()
    for i, line in enumerate(inside):
        for pattern, name, longest in WAITS:
            if pattern.search(line.message):
                waits[name] += min(next_on_thread(inside, i) - line.ms, longest)
    last_listed = max((i for i, line in enumerate(inside) if PROCESS_LIST.search(line.message)), default=None)
    if last_listed is not None:
        waits["ending the suite's processes and waiting for them to exit"] += (
            next_on_thread(inside, last_listed) - inside[last_listed].ms)
    window = lines[end].ms - lines[start].ms
    mandated = sum(waits.values())
    validations = [i for i, line in enumerate(inside) if line.message.startswith("Validating contents of path[")]
    passes = [next_on_thread(inside, i) - inside[i].ms for i in validations] + [0, 0]
    read_staged = read_ahead(lines, start)
    cat = max(float(cat_ms), 1)
    figures = {
        "label": label, "files": files, "total": wall_ms, "log_span": round(lines[-1].ms - lines[0].ms),
        "window": round(window), "mandated": round(mandated), "rest": round(window - mandated),
        "read_staged": round(read_staged), "valid_staged": round(passes[0]), "valid_destaged": round(passes[1]),
        "cat": round(cat), "staged_x_cat": round((read_staged + passes[0]) / cat, 2),
        "destaged_x_cat": round(passes[1] / cat, 2), "open_close": open_close_ms, "open_read": open_read_ms,
        "load_start": load_start, "load_end": load_end,
    }
    print("run " + " ".join(f"{key}={value}" for key, value in figures.items()))
    for name, ms in sorted(waits.items()):
        print(f"  wait {ms:.0f} ms: {name}")


def summary(path):
    runs = collections.defaultdict(list)
    order = []
    with open(path) as figures:
        for line in figures:
            if line.startswith("run "):
                run = dict(token.split("=", 1) for token in line.split()[1:])
                key = (run["label"], int(run["files"]))
                if key not in runs:
                    order.append(key)
                runs[key].append(run)
    labels = list(dict.fromkeys(label for label, _ in order))
    sizes = sorted({files for _, files in order})
    fields = ["total", "window", "mandated", "rest", "read_staged", "valid_staged", "valid_destaged", "cat",
              "staged_x_cat", "destaged_x_cat", "open_close", "open_read"]
    print("\n== Suite-down window: medians in ms; load = 1-minute load average at the start and end of each run "
          "(2 cores) ==")
    print(f"{'label':<10}{'files':>7}{'runs':>5}" + "".join(f"{f:>15}" for f in fields) + "  load")
    median = {}
    for files in sizes:
        for label in labels:
            group = runs.get((label, files), [])
            if not group:
                continue
            median[label, files] = {f: statistics.median(float(r[f]) for r in group) for f in fields}
            loads = ", ".join(f"{r['load_start']}-{r['load_end']}" for r in group)
            print(f"{label:<10}{files:>7}{len(group):>5}" +
                  "".join(f"{median[label, files][f]:>15.6g}" for f in fields) + f"  {loads}")
    for label in labels[1:]:
        for files in sizes:
            if (labels[0], files) in median and (label, files) in median:
                was, now = median[labels[0], files], median[label, files]
                cut = was["rest"] - now["rest"]
                print(f"{label} against {labels[0]}, {files} files: window {was['window']:.0f} -> {now['window']:.0f} ms, "
                      f"rest {was['rest']:.0f} -> {now['rest']:.0f} ms ({cut:.0f} ms less), "
                      f"total {was['total']:.0f} -> {now['total']:.0f} ms, validation after the swap "
                      f"{was['destaged_x_cat']:.2f} -> {now['destaged_x_cat']:.2f}x cat")
    goals = {5000: 600, 20000: 2000}
    for label in labels:
        for files, goal in goals.items():
            if (label, files) in median:
                window = median[label, files]["window"]
                print(f"goal {label}, {files} files: window {window:.0f} ms <= {goal} ms: "
                      f"{'met' if window <= goal else 'NOT met'}; opening and closing every file alone, "
                      f"one thread: {median[label, files]['open_close']:.0f} ms")
        ratios = [median[label, files]["destaged_x_cat"] for files in sizes if (label, files) in median]
        if ratios:
            print(f"goal {label}: validation after the swap <= 1.5x cat: worst {max(ratios):.2f}x: "
                  f"{'met' if max(ratios) <= 1.5 else 'NOT met'}")


if __name__ == "__main__":
    if sys.argv[1] == "--summary":
        summary(sys.argv[2])
    else:
        analyse(*sys.argv[1:10])
