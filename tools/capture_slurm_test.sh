#!/usr/bin/env bash
# examples/slurm end to end on a Slurm of our own: one node, slurmctld and
# slurmd started here (auth/none, no munge, no systemd) with everything in a
# temporary folder, stopped at the end. A 4-task array captures 60 loopback
# pages into one folder; one task is killed mid-run with SIGKILL, another
# cancelled (SIGTERM), and both are submitted again with --resume; the merge
# job runs after them. Every
# page must then be captured once, whole, into its own file, and the merged
# report must have one final line for each list line.
#
#   capture_slurm_test.sh SNAPKIT SOURCE_DIR
#
# Exits with 77 (skipped) without Slurm's programs or without root, except
# in CI (CI=true), where that is a failure.
set -euo pipefail
snapkit=$(realpath "$1")
src=$(realpath "$2")
# Debian's Python, which has Pillow (python3-pil), whatever else is on the PATH.
py=/usr/bin/python3
skip() {
  echo "SKIP: $*"
  [ "${CI:-}" = true ] && exit 1
  exit 77
}
for p in slurmctld slurmd sbatch squeue scancel $py; do
  command -v "$p" >/dev/null || skip "$p is not installed (scripts/install-deps.sh)"
done
# slurmd starts each job as its user, which takes root.
[ "$(id -u)" -eq 0 ] || skip "a Slurm node of our own needs root"

started=$(date +%s)
work=$(mktemp -d /tmp/snapkit-slurm.XXXXXX)
pids=()
cleanup() {
  status=$?
  if [ -n "${SLURM_CONF:-}" ] && [ -f "$work/ctld.pid" ]; then
    scancel --quiet --full "${jobs[@]:-0}" 2>/dev/null || true
    # The jobs' processes end with their steps.
    for _ in $(seq 50); do [ -z "$(squeue -h 2>/dev/null)" ] && break; sleep 0.2; done
  fi
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ $status -ne 0 ]; then
    echo "--- slurmctld"; tail -n 20 "$work/slurmctld.log" 2>/dev/null || true
    echo "--- slurmd"; tail -n 20 "$work/slurmd.log" 2>/dev/null || true
    for f in "$work"/run/*.out; do [ -f "$f" ] && { echo "--- $f"; tail -n 20 "$f"; }; done
  fi
  rm -rf "$work"
  exit $status
}
jobs=()
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

free_port() {
  $py -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}
ctld_port=$(free_port)
slurmd_port=$(free_port)
http_port=$(free_port)

# ---- the pages: 60, each coloured by its number, each request logged ----
mkdir -p "$work/pages" "$work/run" "$work/tmp" "$work/state" "$work/spool"
cat >"$work/serve.py" <<'EOF'
import http.server, sys, time
colours = ['#00ff00', '#ff0000', '#0000ff']
class Pages(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        with open(sys.argv[2], 'a') as log:
            log.write(self.path + '\n')
        if not self.path.startswith('/p'):
            self.send_error(404)
            return
        # Slow enough that a task is still at work when it is killed.
        time.sleep(0.3)
        n = int(self.path[2:].split('.')[0])
        body = f"<html><body style='margin:0;background:{colours[n % 3]}'>{n}</body></html>".encode()
        self.send_response(200)
        self.send_header('Content-Type', 'text/html')
        self.send_header('Content-Length', str(len(body)))
        self.end_headers()
        try:
            self.wfile.write(body)
        except OSError:
            pass  # the task that asked was killed
    def log_message(self, *args):
        pass
http.server.ThreadingHTTPServer(('127.0.0.1', int(sys.argv[1])), Pages).serve_forever()
EOF
$py "$work/serve.py" "$http_port" "$work/requests.log" &
pids+=($!)
{
  echo "# 60 loopback pages"
  for i in $(seq 0 59); do
    echo "http://127.0.0.1:$http_port/p$i.html"
    [ $((i % 20)) -eq 9 ] && echo
  done
} >"$work/list.txt"

# ---- a one-node Slurm ----
export SLURM_CONF=$work/slurm.conf
cat >"$SLURM_CONF" <<EOF
ClusterName=snapkit-test
SlurmctldHost=localhost(127.0.0.1)
SlurmctldPort=$ctld_port
SlurmdPort=$slurmd_port
SlurmUser=root
SlurmdUser=root
AuthType=auth/none
CredType=cred/none
MpiDefault=none
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
SwitchType=switch/none
SchedulerType=sched/builtin
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
# SIGKILL follows a cancel's SIGTERM after this long (Slurm's default is 30).
KillWait=15
StateSaveLocation=$work/state
SlurmdSpoolDir=$work/spool
SlurmctldPidFile=$work/ctld.pid
SlurmdPidFile=$work/slurmd.pid
SlurmctldLogFile=$work/slurmctld.log
SlurmdLogFile=$work/slurmd.log
JobCompType=jobcomp/none
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
# The node claims 8 CPUs whatever it has: the four tasks run side by side.
SlurmdParameters=config_overrides
NodeName=snapkit-node NodeHostname=$(hostname) NodeAddr=127.0.0.1 CPUs=8 RealMemory=1000 State=UNKNOWN
PartitionName=test Nodes=snapkit-node Default=YES MaxTime=INFINITE State=UP
EOF
slurmctld -D -f "$SLURM_CONF" >"$work/slurmctld.out" 2>&1 &
pids+=($!)
slurmd -D -f "$SLURM_CONF" -N snapkit-node >"$work/slurmd.out" 2>&1 &
pids+=($!)
for _ in $(seq 100); do
  sinfo -h -o %T 2>/dev/null | grep -qx idle && break
  sleep 0.2
done
sinfo -h -o %T | grep -qx idle || fail "the Slurm node did not come up: $(sinfo 2>&1)"

# Waits until none of the jobs given is pending or running.
wait_jobs() {
  for _ in $(seq 900); do
    [ -z "$(squeue -h -j "$(IFS=,; echo "$*")" 2>/dev/null)" ] && return 0
    sleep 0.2
  done
  fail "jobs $* still queued after 180 s: $(squeue)"
}
lines() { [ -f "$1" ] && wc -l <"$1" || echo 0; }

# ---- the array, one task killed mid-run ----
cd "$work/run"
export SNAPKIT=$snapkit TMPDIR=$work/tmp
out=$work/shots
array="$src/examples/slurm/capture-array.sbatch"
options=(--jobs 1 --size 64x36 --timeout 20)
job=$(sbatch --parsable --array=0-3 "$array" "$work/list.txt" "$out" 4 "${options[@]}")
jobs+=("$job")
# Task 2 is killed outright; task 1 is cancelled as a scheduler ends a task
# (SIGTERM to each of its processes, the browser's too) and stops cleanly.
killed=2 stopped=1
for _ in $(seq 600); do
  [ "$(lines "$out/report-$killed.jsonl")" -ge 3 ] && [ "$(lines "$out/report-$stopped.jsonl")" -ge 3 ] && break
  sleep 0.1
done
# Without --batch, Slurm would cancel the task the usual way, SIGTERM first.
scancel --batch --signal=KILL "${job}_$killed"
scancel "${job}_$stopped"
wait_jobs "$job"
for t in $killed $stopped; do
  n=$(lines "$out/report-$t.jsonl")
  [ "$n" -ge 3 ] && [ "$n" -lt 15 ] || fail "task $t reported $n of its 15 pages when it was ended"
  echo "task $t ended after $n of its 15 pages"
done
for t in 0 3; do
  [ "$(lines "$out/report-$t.jsonl")" -eq 15 ] || fail "task $t reported $(lines "$out/report-$t.jsonl") lines"
done
for t in 0 1 2 3; do
  grep -q "shard $((t + 1))/4 from Slurm (SLURM_ARRAY_TASK_ID=$t," "$work/run/snapkit-capture-${job}_$t.out" ||
    fail "task $t did not say which shard it took"
done
grep -q "stopped by SIGTERM" "$work/run/snapkit-capture-${job}_$stopped.out" ||
  fail "task $stopped did not stop on SIGTERM"
grep -q "stopped by" "$work/run/snapkit-capture-${job}_$killed.out" &&
  fail "task $killed had time to stop: it was not killed outright"

# ---- the two tasks again, with --resume; the merge after them ----
again=$(sbatch --parsable --array=$stopped,$killed "$array" "$work/list.txt" "$out" 4 "${options[@]}" --resume)
jobs+=("$again")
merge=$(sbatch --parsable --dependency=afterok:"$again" "$src/examples/slurm/merge-reports.py" \
  "$out" --list "$work/list.txt")
jobs+=("$merge")
wait_jobs "$again" "$merge"
[ "$(cat "$work"/run/snapkit-capture-"${again}"_*.out | grep -c -- "--resume: ")" -eq 2 ] ||
  fail "the resumed tasks did not say what they skipped"
grep -q "4 reports, 60 lines, 60 written, 0 failed, 0 missing" "$work/run/snapkit-merge-$merge.out" ||
  fail "merge: $(cat "$work/run/snapkit-merge-$merge.out")"

# ---- what the pages, the reports and the folder say ----
$py - "$work/list.txt" "$out" "$work/requests.log" "$killed,$stopped" <<'EOF'
import collections, glob, json, os, sys
from PIL import Image
listing, out, requests = sys.argv[1], sys.argv[2], sys.argv[3]
ended = [int(t) for t in sys.argv[4].split(',')]
urls = {n: t.strip() for n, t in enumerate(open(listing), 1) if t.strip() and not t.startswith('#')}
assert len(urls) == 60, len(urls)
page = {n: int(u.rsplit('/p', 1)[1].split('.')[0]) for n, u in urls.items()}

task = lambda line: sorted(urls).index(line) % 4

# Every raw report line is whole, and each list line was written once. A
# page under way when its browser was signalled along with the task may
# have failed before the task heard of its own signal: a failure line,
# which the line written on resume follows.
written, failed = collections.Counter(), collections.Counter()
for path in glob.glob(os.path.join(out, 'report-*.jsonl')):
    data = open(path, 'rb').read()
    assert data.endswith(b'\n'), path
    for raw in data.splitlines():
        e = json.loads(raw)
        (written if e['error'] is None else failed)[e['line']] += 1
assert sorted(written) == sorted(urls), sorted(set(urls) ^ set(written))
twice = [n for n, c in written.items() if c != 1]
assert not twice, f'written more than once: {twice}'
assert all(task(n) == ended[1] for n in failed) and sum(failed.values()) <= 2, failed

# The merged report: one final line for each list line, in list order.
merged = [json.loads(l) for l in open(os.path.join(out, 'report.jsonl'))]
assert [e['line'] for e in merged] == sorted(urls), [e['line'] for e in merged]
colours = ['0f0', 'f00', '00f']
for e in merged:
    assert e['error'] is None and e['url'] == urls[e['line']], e
    im = Image.open(e['file'])
    im.verify()
    im = Image.open(e['file'])
    im.load()
    rgb = ''.join('f' if c >= 128 else '0' for c in im.convert('RGB').getpixel((2, 2)))
    assert (im.format, im.size, rgb) == ('PNG', (64, 36), colours[page[e['line']] % 3]), (e, im.size, rgb)
    assert os.path.getsize(e['file']) == e['size'], e

# The folder: the 60 pictures and the reports, no half-written leftovers.
files = sorted(os.listdir(out))
pictures = [f for f in files if f.endswith('.png')]
assert len(pictures) == 60, len(pictures)
assert sorted(os.path.basename(e['file']) for e in merged) == pictures
assert set(files) - set(pictures) == {f'report-{t}.jsonl' for t in range(4)} | {'report.jsonl'}, files

# The server: every page was asked for; again only what a task that was
# ended had under way (one page at a time), so one page of each at most.
asked = collections.Counter(l.strip() for l in open(requests) if l.startswith('/p'))
assert sorted(asked) == sorted(f'/p{i}.html' for i in range(60)), len(asked)
again = [p for p, c in asked.items() if c > 1]
assert max(asked.values()) <= 2, again
line_of = lambda p: next(n for n, u in urls.items() if u.endswith(p))
assert sorted(task(line_of(p)) for p in again) in ([], [ended[0]], [ended[1]], sorted(ended)), again
print(f'60 pages once each; asked again: {again or "none"}')
EOF
echo "the Slurm test took $(($(date +%s) - started)) s"
