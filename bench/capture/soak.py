#!/usr/bin/env python3
"""Soak test of `snapkit capture --batch`: many loopback pages in one batch,
among them slow pages, 404s, pages that never finish, pages that kill their
renderer, renderers killed from outside and the whole browser killed from
outside half way. Passes when every URL ends captured or reported (once),
nothing hangs (the batch within a time limit, each page within its
--timeout and a little), the failures are the ones the pages and the kills
explain (a page loading when something was killed may fail; one started
after it may not),
no partial file is left, and the memory of snapkit (RSS) and of its
Chromium processes (PSS summed) at the last page is within 10% of the 100th.

Run through scripts/soak-capture.sh.
"""

import argparse
import collections
import datetime
import json
import os
import random
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ORDINARY = ["text", "gradients", "table", "tall"]
MEMORY_WINDOW = 50


# ---- processes and memory -------------------------------------------------------

def children_map():
    children = collections.defaultdict(list)
    for name in os.listdir("/proc"):
        if not name.isdigit():
            continue
        try:
            with open(f"/proc/{name}/stat") as f:
                stat = f.read()
        except OSError:
            continue
        fields = stat[stat.rfind(")") + 2:].split()
        children[int(fields[1])].append(int(name))
    return children


def descendants(root):
    children = children_map()
    out, todo = [], [root]
    while todo:
        for c in children.get(todo.pop(), []):
            out.append(c)
            todo.append(c)
    return out


def rollup_kib(pid, key):
    try:
        with open(f"/proc/{pid}/smaps_rollup") as f:
            for line in f:
                if line.startswith(key):
                    return int(line.split()[1])
    except OSError:
        pass
    return 0


def cmdline(pid):
    # Chromium rewrites its children's command lines as one string joined
    # by spaces, so this is searched, not split.
    try:
        with open(f"/proc/{pid}/cmdline", "rb") as f:
            return f.read()
    except OSError:
        return b""


def is_chromium(pid):
    try:
        return "chromium" in os.readlink(f"/proc/{pid}/exe")
    except OSError:
        return False


def chromium_processes(root):
    return [p for p in descendants(root) if is_chromium(p)]


def browser_pid(root):
    """The browser process: the Chromium child of snapkit itself."""
    for p in children_map().get(root, []):
        if is_chromium(p):
            return p
    return None


def process_kind(pid):
    line = cmdline(pid)
    if b"--type=" not in line:
        return "browser"
    kind = line.split(b"--type=")[1].split(b" ")[0].split(b"\0")[0].decode(errors="replace")
    return {"gpu-process": "gpu", "utility": "utility", "zygote": "zygote"}.get(kind, kind)


def renderers(root):
    return [p for p in chromium_processes(root) if b"--type=renderer" in cmdline(p)]


# ---- the list ---------------------------------------------------------------------

def make_list(base, pages, seed):
    """(url, kind) for every line; the odd pages are kept away from the
    points where memory is compared and from the browser kill."""
    rnd = random.Random(seed)
    scale = pages / 1000
    counts = {
        "hang": max(1, round(8 * scale)),
        "crash": max(1, round(3 * scale)),
        "missing": max(2, round(30 * scale)),
        "slow": max(3, round(60 * scale)),
    }
    # A page that hangs or crashes holds a job (and its renderer up to 4 GiB)
    # for up to the page timeout, so those stay well before the end.
    mid = set(range(pages // 2 - 10, pages // 2 + 11))
    heavy_end = pages - max(60, pages // 5)
    places = {
        "hang": [i for i in range(121, heavy_end) if i not in mid],
        "crash": [i for i in range(121, heavy_end) if i not in mid],
        "missing": [i for i in range(111, pages - 40) if i not in mid],
        "slow": [i for i in range(111, pages - 40) if i not in mid],
    }
    kinds = {}
    for kind, n in counts.items():
        free = [i for i in places[kind] if i not in kinds]
        for i in rnd.sample(free, min(n, len(free))):
            kinds[i] = kind
    entries = []
    for i in range(1, pages + 1):
        kind = kinds.get(i, "ordinary")
        if kind == "ordinary":
            url = f"{base}/{ORDINARY[i % 4]}.html?n={i}"
        elif kind == "slow":
            url = f"{base}/slow.html?ms={rnd.choice([1000, 2000, 3000, 4000])}&n={i}"
        else:
            url = f"{base}/{kind}.html?n={i}"
        entries.append((url, kind))
    return entries


# ---- the run ----------------------------------------------------------------------

def start_server():
    server = subprocess.Popen([sys.executable, os.path.join(HERE, "serve.py")],
                              stdout=subprocess.PIPE, text=True)
    port = server.stdout.readline().strip()
    if not port.isdigit():
        server.kill()
        raise SystemExit("soak: the page server did not start")
    return server, f"http://127.0.0.1:{port}"


def window_median(samples, field, lo, hi):
    vals = [s[field] for s in samples if lo <= s["done"] <= hi]
    return (statistics.median(vals), len(vals)) if vals else (None, 0)


def main():
    ap = argparse.ArgumentParser(description="Soak test of snapkit capture --batch.")
    ap.add_argument("--snapkit", required=True)
    ap.add_argument("--pages", type=int, default=1000)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--timeout", type=float, default=20,
                    help="snapkit's --timeout per page, in seconds (default 20)")
    ap.add_argument("--time-limit", type=float,
                    help="seconds for the whole batch (default: 2 s a page + 5 min)")
    ap.add_argument("--renderer-kills", type=int,
                    help="renderers killed from outside at random points (default: 3 per 1000 pages, at least 1)")
    ap.add_argument("--seed", type=int, default=13)
    ap.add_argument("--work", help="folder for the list, report, pictures and logs (default: a new temporary one)")
    args = ap.parse_args()
    if args.pages < 200:
        raise SystemExit("soak: --pages must be at least 200")
    pages = args.pages
    limit = args.time_limit or 2 * pages + 300
    rnd = random.Random(args.seed)
    work = args.work or tempfile.mkdtemp(prefix="snapkit-soak-")
    os.makedirs(work, exist_ok=True)
    out_dir, report_path = os.path.join(work, "out"), os.path.join(work, "report.jsonl")
    list_path, log_path = os.path.join(work, "list.txt"), os.path.join(work, "snapkit.stderr")

    server, base = start_server()
    entries = make_list(base, pages, args.seed)
    with open(list_path, "w") as f:
        for url, _ in entries:
            f.write(url + "\n")
    kind_of = {url: kind for url, kind in entries}

    # The injected faults, by the number of pages done when they strike.
    kill_browser_at = pages // 2
    n_renderer_kills = args.renderer_kills if args.renderer_kills is not None else max(1, round(3 * pages / 1000))
    renderer_kill_at = sorted(rnd.sample([i for i in range(120, pages - 50)
                                          if abs(i - kill_browser_at) > 10], n_renderer_kills))

    cmd = [args.snapkit, "capture", "--batch", list_path, "--out-dir", out_dir,
           "--jobs", str(args.jobs), "--report", report_path,
           "--timeout", str(args.timeout), "--size", "320x240"]
    print(f"soak: {pages} pages from {base}, work folder {work}", flush=True)
    print("soak: " + " ".join(cmd), flush=True)
    log = open(log_path, "w")
    t0 = time.monotonic()
    wall0 = time.time()
    proc = subprocess.Popen(cmd, stdout=log, stderr=log, start_new_session=True)

    arrivals = []          # (time, report entry)
    samples = []           # memory, every ~100 ms
    faults = []            # what was killed, when
    report_pos, partial = 0, ""
    hung = None
    last_progress = t0
    next_print = 0

    def read_report():
        nonlocal report_pos, partial
        try:
            with open(report_path) as f:
                f.seek(report_pos)
                chunk = f.read()
                report_pos = f.tell()
        except FileNotFoundError:
            return 0
        partial += chunk
        *lines, partial = partial.split("\n")
        now = time.monotonic() - t0
        for line in lines:
            if line.strip():
                arrivals.append((now, json.loads(line)))
        return len(lines)

    try:
        while proc.poll() is None:
            now = time.monotonic()
            if read_report():
                last_progress = now
            done = len(arrivals)
            chromium = chromium_processes(proc.pid)
            by_kind = collections.defaultdict(float)
            for p in chromium:
                by_kind[process_kind(p)] += rollup_kib(p, "Pss:") / 1024
            samples.append({
                "t": now - t0, "done": done,
                "ours_rss": rollup_kib(proc.pid, "Rss:") / 1024,
                "ours_pss": rollup_kib(proc.pid, "Pss:") / 1024,
                "chromium_pss": sum(by_kind.values()),
                **{"pss_" + k: v for k, v in by_kind.items()},
                "chromium_processes": len(chromium),
            })
            if kill_browser_at is not None and done >= kill_browser_at:
                pid = browser_pid(proc.pid)
                if pid:
                    os.kill(pid, signal.SIGKILL)
                    faults.append({"what": "browser", "pid": pid, "t": now - t0, "done": done})
                    print(f"soak: killed the browser (pid {pid}) after {done} pages", flush=True)
                    kill_browser_at = None
            if renderer_kill_at and done >= renderer_kill_at[0]:
                found = renderers(proc.pid)
                if found:
                    pid = rnd.choice(found)
                    try:
                        os.kill(pid, signal.SIGKILL)
                        faults.append({"what": "renderer", "pid": pid, "t": now - t0, "done": done})
                        print(f"soak: killed a renderer (pid {pid}) after {done} pages", flush=True)
                        renderer_kill_at.pop(0)
                    except ProcessLookupError:
                        pass
            if now - t0 > limit:
                hung = f"the batch was still running after the time limit of {limit:.0f} s"
                break
            if now - last_progress > args.timeout + 60:
                hung = f"no page was reported for {now - last_progress:.0f} s"
                break
            if now >= next_print:
                s = samples[-1]
                print(f"soak: {now - t0:6.0f} s  {done:5d}/{pages} pages  snapkit RSS "
                      f"{s['ours_rss']:6.1f} MiB  Chromium PSS {s['chromium_pss']:7.1f} MiB "
                      f"({s['chromium_processes']} processes)", flush=True)
                next_print = now + 30
            time.sleep(0.1)
    finally:
        if proc.poll() is None:
            os.killpg(proc.pid, signal.SIGKILL)
            proc.wait()
        server.kill()
        server.wait()
        log.close()
    elapsed = time.monotonic() - t0
    read_report()
    code = proc.returncode

    # ---- checks, by what they are about ----
    CHECKS = [
        ("reported", "every URL ends captured or reported, once"),
        ("hang", "nothing hangs: the batch within its time limit, each page within "
                 "--timeout + 5 s"),
        ("outcome", "every failure is its page's own or a kill's (404, never-ending, crashing pages; pages loading when something was killed)"),
        ("files", "a picture for each capture, none for a failure, no partial file"),
        ("memory", "memory at the last page within 10% of the 100th"),
        ("run", "snapkit exits with 0 or 1 and the browser was killed"),
    ]
    problems = collections.defaultdict(list)
    if hung:
        problems["hang"].append(hung)
    if code not in (0, 1) and not hung:
        problems["run"].append(f"snapkit exited with {code}")
    reported = collections.Counter(e["url"] for _, e in arrivals)
    lost = [url for url, _ in entries if url not in reported]
    twice = [url for url, n in reported.items() if n > 1]
    strangers = [url for url in reported if url not in kind_of]
    for url in lost:
        problems["reported"].append(f"{url} ({kind_of[url]}): neither captured nor reported")
    for url in twice:
        problems["reported"].append(f"{url}: reported {reported[url]} times")
    for url in strangers:
        problems["reported"].append(f"{url}: reported but not in the list")

    def started(e, t_end, ms):
        # snapkit says when it started each page; older reports only how
        # long it took, and this loop reads them up to a sample late.
        if e.get("started"):
            stamp = datetime.datetime.fromisoformat(e["started"].replace("Z", "+00:00"))
            return stamp.timestamp() - wall0, 0.05
        return t_end - ms / 1000, 0.3

    def near_fault(e, t_end, ms):
        # A page that was loading when something was killed. A page started
        # after a kill has no excuse: the browser is started again for it.
        start, slack = started(e, t_end, ms)
        return [f for f in faults if start - slack <= f["t"] <= t_end]

    def timing(e, t_end, ms):
        start, _ = started(e, t_end, ms)
        text = f"loaded from {start:.1f} s to {t_end:.1f} s"
        hits = near_fault(e, t_end, ms)
        before = [f for f in faults if f["t"] <= start]
        f = hits[0] if hits else before[-1] if before else None
        if f and f["t"] > start:
            text += f", the {f['what']} (pid {f['pid']}) killed {f['t'] - start:.1f} s into it"
        elif f:
            text += f", {start - f['t']:.1f} s after the {f['what']} (pid {f['pid']}) was killed"
        return text

    outcomes = collections.defaultdict(collections.Counter)
    explained, errors_by_kind = [], collections.defaultdict(collections.Counter)
    for t_end, e in arrivals:
        url, kind, err = e["url"], kind_of.get(e["url"], "?"), e.get("error")
        f, ms = e.get("file"), e.get("milliseconds", 0)
        # Rendering and saving a page that completed just in time may take
        # a little longer; past that the page's time limit did not hold.
        if ms > args.timeout * 1000 + 5000:
            problems["hang"].append(f"{url} ({kind}): reported after {ms / 1000:.1f} s with "
                                    f"--timeout {args.timeout:g}: \"{err}\" ({timing(e, t_end, ms)})")
        if err is None:
            outcomes[kind]["captured"] += 1
            if not f or not os.path.isfile(f):
                problems["files"].append(f"{url}: reported captured but {f} is missing")
            else:
                with open(f, "rb") as fh:
                    if fh.read(8) != b"\x89PNG\r\n\x1a\n":
                        problems["files"].append(f"{url}: {f} is not a PNG file")
                if not (0 < e.get("width", 0) <= 320 and 0 < e.get("height", 0) <= 240):
                    problems["files"].append(f"{url}: reported size {e.get('width')}x{e.get('height')}")
            if kind in ("missing", "hang", "crash"):
                problems["outcome"].append(f"{url} ({kind}): captured, though the page cannot be")
            continue
        outcomes[kind]["reported"] += 1
        errors_by_kind[kind][err] += 1
        if f and os.path.exists(f):
            problems["files"].append(f"{url}: failed but {f} exists")
        expected = {"missing": "HTTP status 404", "hang": "no complete page"}.get(kind)
        if (expected and expected in err) or kind == "crash":
            continue
        hits = near_fault(e, t_end, ms)
        if hits:
            explained.append(f"{url} ({kind}): {err} ({timing(e, t_end, ms)})")
        else:
            problems["outcome"].append(f"{url} ({kind}): \"{err}\" ({timing(e, t_end, ms)})")
    leftovers = [n for n in os.listdir(out_dir)] if os.path.isdir(out_dir) else []
    for n in leftovers:
        if ".part-" in n:
            problems["files"].append(f"partial file left: {os.path.join(out_dir, n)}")
    if not any(f["what"] == "browser" for f in faults) and not hung:
        problems["run"].append("the browser was never killed (no browser process found)")

    # ---- memory ----
    # Four kinds of page from 40 KiB to a 2000-row table, two at a time:
    # which of them are in flight moves Chromium's memory by +-15%, so each
    # point is the median over the 50 pages before it.
    first_at = 100
    mem = {}
    for field in ("ours_rss", "ours_pss", "chromium_pss"):
        a, na = window_median(samples, field, first_at - MEMORY_WINDOW, first_at)
        b, nb = window_median(samples, field, pages - MEMORY_WINDOW, pages)
        mem[field] = (a, na, b, nb)
    for field, label in (("ours_rss", "snapkit's RSS"), ("chromium_pss", "Chromium's PSS")):
        a, na, b, nb = mem[field]
        if a is None or b is None:
            problems["memory"].append(f"{label}: no samples around page {first_at} or page {pages}")
        elif b > a * 1.10:
            problems["memory"].append(
                f"{label} grew from {a:.1f} MiB at page {first_at} to {b:.1f} MiB "
                f"at page {pages} ({(b / a - 1) * 100:+.1f}%, bound +10%)")

    # ---- the report ----
    load = open("/proc/loadavg").read().split()[:3]
    print()
    print(f"soak: {len(arrivals)}/{pages} URLs reported in {elapsed:.0f} s, snapkit exit code {code}, "
          f"load average at the end {' '.join(load)}")
    print("soak: outcomes by kind of page:")
    for kind in ["ordinary", "slow", "missing", "hang", "crash"]:
        total = sum(1 for _, k in entries if k == kind)
        o = outcomes[kind]
        print(f"  {kind:9s} {total:5d} pages: {o['captured']:5d} captured, {o['reported']:4d} reported failed")
        for err, n in errors_by_kind[kind].most_common():
            print(f"      {n:4d} x {err}")
    print("soak: injected faults:")
    for f in faults:
        print(f"  {f['what']:8s} pid {f['pid']} killed at {f['t']:.1f} s, after {f['done']} pages")
    for text in explained:
        print(f"  failed while loading when it struck: {text}")
    print(f"soak: memory (median of the samples while the last {MEMORY_WINDOW} pages before each point were done):")
    for field, label in (("ours_rss", "snapkit RSS"), ("ours_pss", "snapkit PSS"),
                         ("chromium_pss", "Chromium PSS (sum)")):
        a, na, b, nb = mem[field]
        if a is None or b is None:
            print(f"  {label:20s} no samples")
            continue
        print(f"  {label:20s} page {first_at}: {a:7.1f} MiB ({na} samples)   page {pages}: "
              f"{b:7.1f} MiB ({nb} samples)   {(b / a - 1) * 100:+6.1f}%")
    # Where Chromium's memory is, for telling growth from the page mix.
    for kind in ("browser", "gpu", "utility", "renderer", "zygote"):
        field = "pss_" + kind
        a, _ = window_median([s for s in samples if field in s], field,
                             first_at - MEMORY_WINDOW, first_at)
        b, _ = window_median([s for s in samples if field in s], field,
                             pages - MEMORY_WINDOW, pages)
        if a is not None and b is not None:
            print(f"    {kind:18s} page {first_at}: {a:7.1f} MiB   page {pages}: {b:7.1f} MiB")
    peak = max(samples, key=lambda s: s["chromium_pss"]) if samples else None
    if peak:
        print(f"  Chromium PSS peak {peak['chromium_pss']:.1f} MiB at {peak['t']:.0f} s (after {peak['done']} pages)")
    with open(os.path.join(work, "samples.jsonl"), "w") as f:
        for s in samples:
            f.write(json.dumps(s) + "\n")
    with open(os.path.join(work, "arrivals.jsonl"), "w") as f:
        for t, e in arrivals:
            f.write(json.dumps({"t": t, **e}) + "\n")
    with open(os.path.join(work, "summary.json"), "w") as f:
        json.dump({"pages": pages, "reported": len(arrivals), "seconds": elapsed, "exit": code,
                   "outcomes": outcomes, "errors": errors_by_kind, "faults": faults,
                   "memory": mem, "problems": problems, "lost": lost, "load": load}, f, indent=1)
    print("soak: checks:")
    for key, text in CHECKS:
        print(f"  [{'FAIL' if problems[key] else ' ok '}] {text}")
        for p in problems[key]:
            print(f"         {p}")
    if any(problems.values()):
        print(f"soak: FAILED (pictures, report, samples and snapkit's standard error in {work})")
        return 1
    print(f"soak: passed (pictures, report, samples and snapkit's standard error in {work})")
    return 0


if __name__ == "__main__":
    sys.exit(main())
