#!/usr/bin/env python3
# Merges the reports of a batch split across machines (report-*.jsonl in
# FOLDER) into FOLDER/report.jsonl: one line per list line, in list order.
#
# A report is appended to run after run (--resume), so a list line may have
# several lines in it: the last is its final one. A line cut short by a
# killed run is no line. With --list, lines of the list that no report has
# are named, and make the merge fail. Exits with 1 when a final line is a
# failure or a line is missing.
#
# As a Slurm job after the array:  sbatch --dependency=afterok:JOB merge-reports.py FOLDER
#SBATCH --job-name=snapkit-merge
#SBATCH --output=snapkit-merge-%j.out
import argparse
import glob
import json
import os
import sys


def final_lines(path):
    lines = {}
    with open(path, 'rb') as f:
        for raw in f:
            if not raw.endswith(b'\n'):
                break
            try:
                entry = json.loads(raw)
                number = entry['line']
            except (ValueError, KeyError, TypeError):
                continue
            if isinstance(number, int):
                lines[number] = entry
    return lines


def url_lines(path):
    with open(path, encoding='utf-8', errors='replace') as f:
        return [n for n, text in enumerate(f, 1) if text.strip() and not text.strip().startswith('#')]


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument('folder')
    parser.add_argument('--list', help='the capture list, to find lines no report has')
    parser.add_argument('--out', help='the merged report (default FOLDER/report.jsonl)')
    args = parser.parse_args()
    out = args.out or os.path.join(args.folder, 'report.jsonl')
    reports = sorted(p for p in glob.glob(os.path.join(args.folder, 'report-*.jsonl'))
                     if os.path.abspath(p) != os.path.abspath(out))
    merged, seen_in = {}, {}
    for path in reports:
        for number, entry in final_lines(path).items():
            if number in seen_in:
                print(f'merge-reports: line {number} is in {seen_in[number]} and {path}; '
                      'the reports come from different splits of the list', file=sys.stderr)
            seen_in[number] = path
            merged[number] = entry
    missing = [n for n in url_lines(args.list) if n not in merged] if args.list else []
    temporary = out + '.part'
    with open(temporary, 'w') as f:
        for number in sorted(merged):
            f.write(json.dumps(merged[number], ensure_ascii=False) + '\n')
    os.replace(temporary, out)
    failed = [n for n, e in merged.items() if e.get('error') is not None or e.get('file') is None]
    print(f'merge-reports: {len(reports)} reports, {len(merged)} lines, '
          f'{len(merged) - len(failed)} written, {len(failed)} failed, {len(missing)} missing',
          file=sys.stderr)
    if missing:
        print('merge-reports: no report has lines ' + ' '.join(map(str, missing)), file=sys.stderr)
    return 1 if failed or missing else 0


if __name__ == '__main__':
    sys.exit(main())
