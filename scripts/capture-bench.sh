#!/usr/bin/env bash
# The capture benchmark in one sitting: builds snapkit and bench/capture_bench,
# installs playwright-core into bench/capture/node_modules if missing (no
# browser download: it drives the same Chromium as snapkit) and the
# documentation sites the real-page batches load (Debian's python3.11-doc and
# sqlite3-doc), runs warm, cold and batch comparisons on four loopback pages
# and batches of real pages, and prints every figure against its goal.
# Figures are only worth quoting on a quiet machine: the load average is
# printed before and after.
#
#   scripts/capture-bench.sh [--build-dir DIR] [--quick] [capture_bench options]
#
# --quick runs fewer rounds and pages (to check that it all works); other
# options go to capture_bench (--warm-rounds=N, --cold-rounds=N,
# --batch-rounds=N, --batch-pages=N, --site-rounds=N, --site-pages=N,
# --benchmark_filter=...).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=$2; shift 2 ;;
    --quick) args+=(--warm-rounds=3 --cold-rounds=2 --batch-rounds=1 --batch-pages=20
                    --site-rounds=1 --site-pages=10); shift ;;
    *) args+=("$1"); shift ;;
  esac
done

# Playwright needs Node 20 or later; Debian 12's is 18. The registry's node
# package brings a Node of its own, kept beside the bench and put first on
# the PATH.
node_major=$(node -p 'process.versions.node.split(".")[0]' 2>/dev/null || echo 0)
if [ "$node_major" -lt 20 ]; then
  if [ ! -x bench/capture/.node/node_modules/.bin/node ]; then
    npm install --prefix bench/capture/.node --no-audit --no-fund node@20
  fi
  PATH="$PWD/bench/capture/.node/node_modules/.bin:$PATH"
  export PATH
fi
if [ ! -d bench/capture/node_modules/playwright-core ]; then
  (cd bench/capture && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund)
fi
# The real pages: documentation that Debian ships as HTML, with style sheets
# and pictures. NAME=PACKAGE=FOLDER.
sites=(python=python3.11-doc=/usr/share/doc/python3.11/html sqlite=sqlite3-doc=/usr/share/doc/sqlite3)
missing=()
for s in "${sites[@]}"; do
  IFS== read -r name package dir <<<"$s"
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
  args+=("--site=$name=$dir")
done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ ! -f "$build/CMakeCache.txt" ] || ! grep -q 'SNAPKIT_BUILD_BENCH:BOOL=ON' "$build/CMakeCache.txt"; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DSNAPKIT_BUILD_BENCH=ON >/dev/null
fi
cmake --build "$build" -j2 --target snapkit capture_bench >/dev/null

out=$(mktemp -d /tmp/capture-bench-XXXXXX)
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
echo "load average before: $load_before"
"$build/bench/capture_bench" --benchmark_out="$out/result.json" --benchmark_out_format=json \
  --benchmark_counters_tabular=true "${args[@]}"
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

python3 - "$out/result.json" "$load_before" "$load_after" <<'EOF'
import json, sys

result = json.load(open(sys.argv[1]))
runs = {b["name"].split("/iterations")[0]: b for b in result["benchmarks"]}
ctx = result["context"]

def c(name, key):
    b = runs.get(name)
    if not b or b.get("error_occurred"):
        return None
    return b.get(key)

def f(v, unit=""):
    return "  n/a" if v is None else f"{v:7.1f}{unit}" if abs(v) >= 10 else f"{v:7.2f}{unit}"

def verdict(v, ok):
    return "" if v is None else ("met" if ok(v) else "NOT met")

pages = ["text", "gradients", "table", "tall"]
print()
print(f"capture benchmark, {ctx.get('date')}, {ctx.get('num_cpus')} CPUs")
print(f"load average before {sys.argv[2]}, after {sys.argv[3]}")
for name, b in runs.items():
    if b.get("error_occurred"):
        print(f"  {name}: FAILED: {b.get('error_message')}")

def ran(prefix):
    return any(k.startswith(prefix) for k in runs)

if ran("Warm/"):
  print("\n(1) warm, one page, 1024x768 to a 320x240 PNG file; medians in ms. Goal: ours <= 0.8x Playwright")
  print("  ours = TSitelens navigating + SaveToFile (load+render = until OnWebImageReady, save = SaveToFile),")
  print("  its screen the area's size as `snapkit capture --area` sets it;")
  print("  TWebBrowser = the control's browser alone, navigate + draw, no file; plain CDP = a bare pipe client")
  print(f"  {'page':10s} {'ours':>8s} {'load+render':>11s} {'save':>7s} {'TWebBrowser':>11s} {'plain CDP':>9s} {'Playwright':>10s} {'ours/PW':>8s} {'ours/plain':>10s}")
  for p in pages:
      n = f"Warm/{p}"
      r = c(n, "ours_over_playwright")
      print(f"  {p:10s} {f(c(n,'ours_ms')):>8s} {f(c(n,'ours_load_render_ms')):>11s} {f(c(n,'ours_save_ms')):>7s} "
            f"{f(c(n,'twebbrowser_ms')):>11s} {f(c(n,'plain_ms')):>9s} {f(c(n,'playwright_ms')):>10s} "
            f"{f(r):>8s} {f(c(n,'ours_over_plain')):>10s}  {verdict(r, lambda v: v <= 0.8)}")

if ran("Cold/"):
  print("\n(2) cold, whole process; medians in ms. Goals: ours <= 1.0x the same engine's one-shot, <= 0.5x full Chromium's")
  print(f"  {'page':10s} {'ours':>8s} {'same engine':>11s} {'full Chromium':>13s} {'ours/same':>9s} {'':7s} {'ours/full':>9s}")
  for p in pages:
      n = f"Cold/{p}"
      a, b = c(n, "ours_over_same_engine"), c(n, "ours_over_full_chromium")
      print(f"  {p:10s} {f(c(n,'ours_ms')):>8s} {f(c(n,'same_engine_oneshot_ms')):>11s} "
            f"{f(c(n,'full_chromium_oneshot_ms')):>13s} {f(a):>9s} {verdict(a, lambda v: v <= 1.0):7s} "
            f"{f(b):>9s} {verdict(b, lambda v: v <= 0.5)}")

kinds = ["driver", "browser", "renderer", "gpu-process", "utility", "zygote", "other", "unattributed"]

def batch_table(n, sides):
    """Pages/s, CPU per page and Chromium's peak PSS of each side, with ratios to Playwright."""
    print(f"  {'side':22s} {'pages/s':>8s} {'CPU s/page':>10s} {'PSS peak MiB':>12s} {'failed':>6s}")
    for prefix, label in sides:
        print(f"  {label:22s} {f(c(n, prefix + '_pages_per_s')):>8s} {f3(c(n, prefix + '_cpu_s_per_page')):>10s} "
              f"{f(c(n, prefix + '_chromium_pss_peak_mib')):>12s} {int(c(n, prefix + '_failed') or 0):6d}")
    print("  CPU s/page by process (driver = snapkit or node; unattributed = ended between samples):")
    print("  " + " " * 22 + "".join(f"{k:>13s}" for k in kinds))
    for prefix, label in sides:
        print(f"  {label:22s}" + "".join(f"{f3(c(n, f'{prefix}_cpu_{k}_s_per_page')):>13s}" for k in kinds))
    print("  CPU total from " + (runs[n].get("label", "").rsplit("CPU total by ", 1)[-1] or "?") +
          "; reaped children's times alone (wait4), which miss helpers not reaped within the tree: " +
          ", ".join(f"{label} {f3(c(n, prefix + '_cpu_wait4_s_per_page'))}" for prefix, label in sides))
    failed = any((c(n, p + "_failed") or 0) > 0 for p, _ in sides)
    for prefix, label in sides:
        if prefix == "playwright":
            continue
        r, cpu, pss = (c(n, prefix + k) for k in ("_pages_per_s_ratio", "_cpu_per_page_ratio", "_pss_peak_ratio"))
        peak = c(n, prefix + "_chromium_pss_peak_mib")
        if (c(n, prefix + "_failed") or 0) > 0 or (c(n, "playwright_failed") or 0) > 0:
            # Rates count written pages only, but a side that wrote none has no CPU per page.
            print(f"  {label}: pages failed on one side or both: not judged")
            continue
        print(f"  {label}: pages/s {f(r)}x Playwright's (goal >= 1.5x) {verdict(r, lambda v: v >= 1.5)}; "
              f"CPU per page {f(cpu)}x (goal <= 0.65x) {verdict(cpu, lambda v: v <= 0.65)}; "
              f"Chromium's PSS peak {f(peak)} MiB (goal <= 400) {verdict(peak, lambda v: v <= 400)}, {f(pss)}x Playwright's")
    if failed:
        print("  some pages FAILED: the rates count written pages only; see the logs")

def f3(v):
    return "  n/a" if v is None else f"{v:7.3f}"

n = "Batch"
if n in runs:
    print(f"\n(3) batch of {int(c(n,'pages') or 0)} synthetic pages, two at a time, whole processes; pages per "
          "second (median of the rounds); CPU of the whole process tree per written page")
    batch_table(n, [("ours", "ours (custom view)"), ("playwright", "Playwright")])
    ri = c(n, "ours_pages_per_s_ratio_after_node_start")
    print(f"  (Playwright timed from its script's start, node's own start-up left out: "
          f"{f(c(n,'playwright_pages_per_s_after_node_start'))} pages/s, ratio {f(ri)}  {verdict(ri, lambda v: v >= 1.5)})")
    print(f"  snapkit's own RSS peak {f(c(n,'ours_process_rss_peak_mib'))} MiB; median of our rounds' "
          f"Chromium PSS peaks {f(c(n,'ours_chromium_pss_peak_median_mib'))} MiB")

for n in [k for k in runs if k.startswith("Site/")]:
    b = runs[n]
    print(f"\n(4) batch of real pages, {n[5:]}: {int(c(n,'pages') or 0)} pages of {b.get('label', '').split(',')[0]}, "
          "two at a time (--jobs 2 / two Playwright pages), whole processes")
    batch_table(n, [("ours", "ours custom 1024x768"), ("ours_small_raster", "ours --scale 0.3125"),
                    ("playwright", "Playwright")])
print(f"\nraw results: {sys.argv[1]}")
EOF
