#!/usr/bin/env bash
# The capture benchmark in one sitting: builds snapkit and bench/capture_bench,
# installs playwright-core into bench/capture/node_modules if missing (no
# browser download: it drives the same Chromium as snapkit), runs warm, cold
# and batch comparisons on four loopback pages and prints every figure
# against its goal. Figures are only worth quoting on a quiet machine: the
# load average is printed before and after.
#
#   scripts/capture-bench.sh [--build-dir DIR] [--quick] [capture_bench options]
#
# --quick runs fewer rounds (to check that it all works); other options go
# to capture_bench (--warm-rounds=N, --cold-rounds=N, --batch-rounds=N,
# --batch-pages=N, --benchmark_filter=...).
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
args=()
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=$2; shift 2 ;;
    --quick) args+=(--warm-rounds=3 --cold-rounds=2 --batch-rounds=1 --batch-pages=20); shift ;;
    *) args+=("$1"); shift ;;
  esac
done

if [ ! -d bench/capture/node_modules/playwright-core ]; then
  (cd bench/capture && PLAYWRIGHT_SKIP_BROWSER_DOWNLOAD=1 npm ci --no-audit --no-fund)
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

print("\n(1) warm, one page, 1024x768 to a 320x240 PNG file; medians in ms. Goal: ours <= 0.65x Playwright")
print("  ours = TSitelens navigating + SaveToFile (load+render = until OnWebImageReady, save = SaveToFile);")
print("  TWebBrowser = the control's browser alone, navigate + draw, no file; plain CDP = a bare pipe client")
print(f"  {'page':10s} {'ours':>8s} {'load+render':>11s} {'save':>7s} {'TWebBrowser':>11s} {'plain CDP':>9s} {'Playwright':>10s} {'ours/PW':>8s} {'ours/plain':>10s}")
for p in pages:
    n = f"Warm/{p}"
    r = c(n, "ours_over_playwright")
    print(f"  {p:10s} {f(c(n,'ours_ms')):>8s} {f(c(n,'ours_load_render_ms')):>11s} {f(c(n,'ours_save_ms')):>7s} "
          f"{f(c(n,'twebbrowser_ms')):>11s} {f(c(n,'plain_ms')):>9s} {f(c(n,'playwright_ms')):>10s} "
          f"{f(r):>8s} {f(c(n,'ours_over_plain')):>10s}  {verdict(r, lambda v: v <= 0.65)}")

print("\n(2) cold, whole process; medians in ms. Goals: ours <= 1.0x the same engine's one-shot, <= 0.5x full Chromium's")
print(f"  {'page':10s} {'ours':>8s} {'same engine':>11s} {'full Chromium':>13s} {'ours/same':>9s} {'':7s} {'ours/full':>9s}")
for p in pages:
    n = f"Cold/{p}"
    a, b = c(n, "ours_over_same_engine"), c(n, "ours_over_full_chromium")
    print(f"  {p:10s} {f(c(n,'ours_ms')):>8s} {f(c(n,'same_engine_oneshot_ms')):>11s} "
          f"{f(c(n,'full_chromium_oneshot_ms')):>13s} {f(a):>9s} {verdict(a, lambda v: v <= 1.0):7s} "
          f"{f(b):>9s} {verdict(b, lambda v: v <= 0.5)}")

n = "Batch"
if n in runs:
    print(f"\n(3) batch of {int(c(n,'pages') or 0)} pages, two at a time, whole processes; pages per second "
          "(median of the rounds). Goal: ours >= 1.5x Playwright")
    r, ri = c(n, "ours_over_playwright"), c(n, "ours_over_playwright_after_node_start")
    print(f"  ours {f(c(n,'ours_pages_per_s'))}   Playwright {f(c(n,'playwright_pages_per_s'))}   "
          f"ratio {f(r)}  {verdict(r, lambda v: v >= 1.5)}")
    print(f"  (Playwright timed from its script's start, node's own start-up left out: "
          f"{f(c(n,'playwright_pages_per_s_after_node_start'))} pages/s, ratio {f(ri)}  {verdict(ri, lambda v: v >= 1.5)})")
    print(f"  failed pages: ours {int(c(n,'ours_failed') or 0)}, Playwright {int(c(n,'playwright_failed') or 0)}")
    m = c(n, "ours_chromium_pss_peak_mib")
    print("\n(4) Chromium's memory during our batch, PSS summed over its processes, sampled every ~100 ms. Goal: peak <= 400 MiB")
    print(f"  ours: peak {f(m)} MiB (median of the rounds' peaks {f(c(n,'ours_chromium_pss_peak_median_mib'))})  "
          f"{verdict(m, lambda v: v <= 400)}")
    print(f"  snapkit's own RSS peak {f(c(n,'ours_process_rss_peak_mib'))} MiB; "
          f"Playwright's Chromium PSS peak {f(c(n,'playwright_chromium_pss_peak_mib'))} MiB")
print(f"\nraw results: {sys.argv[1]}")
EOF
