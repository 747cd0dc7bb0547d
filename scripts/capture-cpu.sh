#!/usr/bin/env bash
# CPU per page of batch captures of real pages (Debian's Python
# documentation, served on loopback), for several command lines side by
# side: what an option costs, or what a change costs against an older
# build. The CPU is the program's and its browser's together (user and
# system time of every process, as the shell's `time` counts it). Variants
# run in turn, round after round, so that a busy moment hurts them alike;
# the medians per page are printed with each variant's ratio to the first.
#
#   scripts/capture-cpu.sh [--pages N] [--rounds R] [--jobs J] \
#       'NAME=PROGRAM [capture options]' ...
#
#   scripts/capture-cpu.sh 'off=build/tools/snapkit' \
#       'ads=build/tools/snapkit --block-ads --block-trackers'
set -euo pipefail
cd "$(dirname "$0")/.."
pages=60 rounds=5 jobs=2
variants=()
while [ $# -gt 0 ]; do
  case $1 in
    --pages) pages=$2; shift 2 ;;
    --rounds) rounds=$2; shift 2 ;;
    --jobs) jobs=$2; shift 2 ;;
    *) variants+=("$1"); shift ;;
  esac
done
[ ${#variants[@]} -gt 0 ] || { sed -n '10,14p' "$0" | sed 's/^# \{0,1\}//'; exit 2; }
root=/usr/share/doc/python3.11/html
if [ ! -d "$root" ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq python3.11-doc >/dev/null
fi

work=$(mktemp -d /tmp/capture-cpu-XXXXXX)
coproc SERVER { exec python3 bench/capture/serve.py --root "$root"; }
trap 'kill $SERVER_PID 2>/dev/null || true; rm -rf "$work"' EXIT
read -r port <&"${SERVER[0]}"
(cd "$root" && find library -name '*.html' | sort | head -n "$pages") |
  sed "s|^|http://127.0.0.1:$port/|" > "$work/list.txt"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg); $(wc -l < "$work/list.txt") pages, $jobs jobs"

for ((r = 1; r <= rounds; r++)); do
  for v in "${variants[@]}"; do
    name=${v%%=*}
    read -r program options <<< "${v#*=}"
    rm -rf "$work/out"
    # shellcheck disable=SC2086  # the variant's words are its options
    /usr/bin/time -f "%U %S %e" -o "$work/time" "$program" capture --batch "$work/list.txt" \
      --out-dir "$work/out" --jobs "$jobs" --size 320x240 $options > /dev/null 2> "$work/err" ||
      { cat "$work/err"; echo "capture-cpu: $name failed" >&2; exit 1; }
    echo "$name $(cat "$work/time")" >> "$work/times"
  done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

python3 - "$work/times" "$(wc -l < "$work/list.txt")" "${variants[@]%%=*}" <<'EOF'
import statistics, sys
pages = int(sys.argv[2])
names = sys.argv[3:]
cpu, wall = {n: [] for n in names}, {n: [] for n in names}
for line in open(sys.argv[1]):
    n, u, s, e = line.split()
    cpu[n].append((float(u) + float(s)) * 1000 / pages)
    wall[n].append(float(e) * 1000 / pages)
base = statistics.median(cpu[names[0]])
print(f"{'variant':12s} {'CPU ms/page':>12s} {'vs ' + names[0]:>10s} {'wall ms/page':>13s}  rounds")
for n in names:
    m = statistics.median(cpu[n])
    print(f"{n:12s} {m:12.1f} {m / base:10.3f} {statistics.median(wall[n]):13.1f}  "
          + " ".join(f"{v:.0f}" for v in cpu[n]))
EOF
