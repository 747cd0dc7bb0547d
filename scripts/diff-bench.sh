#!/usr/bin/env bash
# snapkit diff against odiff and pixelmatch, on pairs of screenshots of a
# text-heavy page and the same page with a few words changed, at 1920x1080
# and 3840x2160 (the same page at twice the pixel density). Both peers come
# from the npm registry into a cache folder of the build; without the
# registry the benchmark is skipped.
#
#   scripts/diff-bench.sh [--build-dir DIR] [--rounds N]
#
# Whole process: the wall time of one command that reads both PNG files,
# compares them and writes the diff picture as PNG (odiff's native program,
# not its node wrapper; pixelmatch with pngjs in node, as its own command
# does). Compare alone: pixelmatch's time inside node around its call (its
# pictures decoded and its diff picture allocated and zeroed before), and
# snapkit's in process on the same terms (bench/diff_bench, when the build
# has the benchmarks); the command's own compare step, which first touches
# the diff picture's fresh memory, is printed beside it. Medians of N
# rounds. Figures are only worth quoting on a quiet machine: the load
# average is printed before and after.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build
rounds=15
while [ $# -gt 0 ]; do
  case $1 in
    --build-dir) build=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done

cache="$build/npm-cache/diff-bench"
if [ ! -x "$cache/node_modules/@odiff/linux-x64/odiff" ] || [ ! -d "$cache/node_modules/pixelmatch" ]; then
  mkdir -p "$cache"
  echo '{"private": true}' > "$cache/package.json"
  if ! (cd "$cache" && timeout 180 npm install --no-audit --no-fund --no-save \
        odiff-bin@4.5.0 pixelmatch@7.2.0 pngjs@7.0.0 >/dev/null 2>&1); then
    echo "diff-bench: skipped, odiff and pixelmatch could not be installed from the npm registry"
    exit 0
  fi
fi
odiff="$cache/node_modules/@odiff/linux-x64/odiff"
cmake --build "$build" -j2 --target snapkit >/dev/null
snapkit="$build/tools/snapkit"
# The compare alone, timed as pixelmatch's is: in process, on pictures
# decoded and a diff picture allocated before the clock starts.
inprocess=""
if cmake --build "$build" -j2 --target diff_bench >/dev/null 2>&1; then
  inprocess="$build/bench/diff_bench"
fi

work=$(mktemp -d /tmp/diff-bench-XXXXXX)
trap 'rm -rf "$work"' EXIT
cat > "$cache/pixelmatch-run.mjs" <<'JS'
// pixelmatch's own command, timed: read both, compare, write the diff.
import fs from 'fs';
import pixelmatch from 'pixelmatch';
import { PNG } from 'pngjs';
const [a, b, out] = process.argv.slice(2);
const img1 = PNG.sync.read(fs.readFileSync(a)), img2 = PNG.sync.read(fs.readFileSync(b));
const diff = new PNG({ width: img1.width, height: img1.height });
const start = performance.now();
const n = pixelmatch(img1.data, img2.data, diff.data, img1.width, img1.height, { threshold: 0.1 });
const compare = performance.now() - start;
fs.writeFileSync(out, PNG.sync.write(diff));
console.log(n + ' ' + compare);
JS

# The page: a documentation-like column of paragraphs, a table and code.
python3 - "$work" <<'PY'
import sys, random
random.seed(3)
words = ("thumbnail capture render bitmap filter scale page browser loop timer picture "
         "format stream chunk palette colour pixel window event report batch").split()
def para(n):
    return " ".join(random.choice(words) for _ in range(n)).capitalize() + "."
body = ["<h1>snapkit reference</h1>"]
for s in range(6):
    body.append(f"<h2>Section {s + 1}</h2>")
    for _ in range(3):
        body.append(f"<p>{para(random.randint(40, 90))}</p>")
    body.append("<table>" + "".join(
        f"<tr><td>{random.choice(words)}</td><td>{random.randint(1, 999)}</td><td>{para(6)}</td></tr>"
        for _ in range(4)) + "</table>")
    body.append("<pre>snapkit capture URL OUT --every 5 --changed</pre>")
page = ("<!doctype html><html><head><style>body{font:15px/1.45 serif;margin:24px 40px;"
        "columns:3;color:#222} h2{color:#036} td{border:1px solid #ccc;padding:2px 6px}"
        "pre{background:#f4f4f4;padding:6px}</style></head><body>" + "\n".join(body) +
        "</body></html>")
open(sys.argv[1] + "/a.html", "w").write(page)
changed = page.replace("Section 2", "Chapter 2").replace("Section 5", "Part five", 1)
open(sys.argv[1] + "/b.html", "w").write(changed)
PY
shoot() {  # HTML OUT SCALE
  timeout 60 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars \
    --window-size=1920,1080 --force-device-scale-factor="$3" --screenshot="$2" "file://$1" \
    >/dev/null 2>&1
}
for scale in 1 2; do
  shoot "$work/a.html" "$work/a$scale.png" $scale
  shoot "$work/b.html" "$work/b$scale.png" $scale
done

echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$work" "$rounds" "$snapkit" "$odiff" "$cache/pixelmatch-run.mjs" "$inprocess" <<'PY'
import json, os, re, statistics, subprocess, sys, time
work, rounds, snapkit, odiff, pm, inprocess = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4], sys.argv[5], sys.argv[6]
def timed(cmd, env=None):
    t = time.perf_counter()
    r = subprocess.run(cmd, capture_output=True, text=True, env=env)
    return (time.perf_counter() - t) * 1000, r
env = dict(os.environ, SNAPKIT_DIFF_TIMES="1")
for scale, size in ((1, "1920x1080"), (2, "3840x2160")):
    a, b = f"{work}/a{scale}.png", f"{work}/b{scale}.png"
    whole = {"snapkit": [], "odiff": [], "pixelmatch": []}
    phases, pm_compare, counts = [], [], {}
    for _ in range(rounds):
        ms, r = timed([snapkit, "diff", a, b, "--out", f"{work}/s.png"], env)
        whole["snapkit"].append(ms)
        counts["snapkit"] = r.stdout.split()[0]
        phases.append([float(x) for x in re.findall(r"([\d.]+) ms", r.stderr)])
        ms, r = timed([odiff, a, b, f"{work}/o.png"])
        whole["odiff"].append(ms)
        m = re.search(r"Found (\d+)", r.stdout + r.stderr)
        counts["odiff"] = m.group(1) if m else "0"
        ms, r = timed(["node", pm, a, b, f"{work}/p.png"])
        whole["pixelmatch"].append(ms)
        n, c = r.stdout.split()
        counts["pixelmatch"] = n
        pm_compare.append(float(c))
    med = {k: statistics.median(v) for k, v in whole.items()}
    dec, cmp_, enc = (statistics.median(p[i] for p in phases) for i in range(3))
    pmc = statistics.median(pm_compare)
    print(f"\n{size}, a few words changed ({rounds} rounds, medians)")
    print(f"  different pixels: snapkit {counts['snapkit']}, pixelmatch {counts['pixelmatch']}, "
          f"odiff {counts['odiff']} (odiff measures otherwise)")
    for k in ("snapkit", "odiff", "pixelmatch"):
        print(f"  whole process  {k:10} {med[k]:8.1f} ms")
    print(f"  snapkit inside: decode both {dec:.1f} ms, compare {cmp_:.1f} ms, write {enc:.1f} ms")
    print(f"  whole process snapkit / odiff      {med['snapkit'] / med['odiff']:.2f} (goal <= 0.7)")
    if inprocess:
        r = subprocess.run([inprocess, a, b, "--benchmark_filter=^Compare/width:8/diff_picture:1",
                            f"--benchmark_repetitions={rounds}", "--benchmark_format=json"],
                           capture_output=True, text=True)
        alone = statistics.median(x["real_time"] for x in json.loads(r.stdout)["benchmarks"]
                                  if x.get("run_type") == "iteration")
        print(f"  compare alone snapkit {alone:.2f} ms, pixelmatch {pmc:.2f} ms: "
              f"{alone / pmc:.3f} (goal <= 0.1)")
    print(f"  the command's compare, the diff picture's memory first touched: {cmp_:.2f} ms, "
          f"{cmp_ / pmc:.3f} of pixelmatch's")
PY
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
