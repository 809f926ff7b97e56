#!/usr/bin/env python3
"""The suite-down window of one destager run, read from its logs' own time stamps.

    downtime-window.py LOGS_FOLDER LABEL FILES WALL_MS LOAD_START LOAD_END
        prints one "run" line of key=value figures (times in ms) and the waits it counted
    downtime-window.py --summary FIGURES_FILE
        medians per label and size of every "run" line in the file, and each label against the first

The window starts at the request to stop the background service ("Stopping service '...'...") and
ends where the bookkeeping after the last registration step starts (the first line of the update's
result after "Successfully swapped"; when the suite's protocols and availability are repaired after
that, at the first line of the relaunch). Inside it, the waits the update must make are counted from
the line announcing each one to the next line of the same thread, capped at the wait's length.
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
    start = first(lines, lambda line: line.message.startswith("Stopping service '"))
    swapped = first(lines, lambda line: line.message.startswith("Successfully swapped staged/client folders"))
    if start is None or swapped is None:
        return None
    end = first(lines, lambda line: line.function in ("shouldResetCounter", "kvx::apps::app_main"), swapped)
    repaired = first(lines, lambda line: line.message.endswith("new value[available]"), swapped)
    if repaired is not None:
        end = first(lines, lambda line: line.function == "kvx::apps::startDesktop", repaired) or end
    return (start, end) if end is not None else None


def span_after(lines, predicate):
    i = first(lines, predicate)
    return next_on_thread(lines, i) - lines[i].ms if i is not None else 0


def analyse(folder, label, files, wall_ms, load_start, load_end):
    lines = read_log(folder)
    bounds = window_bounds(lines)
    if bounds is None:
        sys.exit(f"downtime-window: no service stop or no completed swap in the log of {folder}")
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
    figures = {
        "label": label, "files": files, "total": wall_ms, "log_span": round(lines[-1].ms - lines[0].ms),
        "window": round(window), "mandated": round(mandated), "rest": round(window - mandated),
        "valid_staged": round(next_on_thread(inside, validations[0]) - inside[validations[0]].ms)
        if validations else 0,
        "valid_destaged": round(next_on_thread(inside, validations[1]) - inside[validations[1]].ms)
        if len(validations) > 1 else 0,
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
    fields = ["total", "window", "mandated", "rest", "valid_staged", "valid_destaged"]
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
                  "".join(f"{median[label, files][f]:>15.0f}" for f in fields) + f"  {loads}")
    for label in labels[1:]:
        for files in sizes:
            if (labels[0], files) in median and (label, files) in median:
                was, now = median[labels[0], files], median[label, files]
                cut = was["rest"] - now["rest"]
                print(f"{label} against {labels[0]}, {files} files: window {was['window']:.0f} -> {now['window']:.0f} ms, "
                      f"rest {was['rest']:.0f} -> {now['rest']:.0f} ms ({cut:.0f} ms less), "
                      f"total {was['total']:.0f} -> {now['total']:.0f} ms")


if __name__ == "__main__":
    if sys.argv[1] == "--summary":
        summary(sys.argv[2])
    else:
        analyse(*sys.argv[1:7])
