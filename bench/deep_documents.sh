#!/usr/bin/env bash
# Peak memory and time of `comsvc json --typed FILE` against a RapidJSON
# UTF-16 DOM program (bench/rapidjson_read_file.cpp) on two documents nested
# 900 levels deep, each made at two sizes to show that time grows linearly:
#   arrays   a top-level array of elements [[[...[1]...]]], 900 deep
#   objects  a top-level array of elements {"a":{"a":...{"a":1}...}}, 900 deep
# Usage: bench/deep_documents.sh [BUILD_DIR] (default build); MB=50 sets the
# size of the larger files. Peaks are /usr/bin/time's maximum resident set.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
mb=${MB:-50}
comsvc=$build/comsvc
peer=$build/bench/rapidjson_read_file
for program in "$comsvc" "$peer"; do
  [[ -x $program ]] || { echo "deep_documents: $program is missing; build $build first" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A top-level array of 900-deep elements, about `megabytes` MB in all.
make_document() {
  local kind=$1 megabytes=$2 out=$3
  python3 - "$kind" "$megabytes" "$out" <<'PY'
import sys
kind, megabytes, out = sys.argv[1], float(sys.argv[2]), sys.argv[3]
depth = 900
if kind == "arrays":
    element = "[" * depth + "1" + "]" * depth
else:
    element = '{"a":' * (depth - 1) + '{"a":1' + "}" * depth
count = max(1, int(megabytes * 1e6 / (len(element) + 1)))
with open(out, "w") as f:
    f.write("[" + ",".join([element] * count) + "]\n")
PY
}

# Prints "seconds peak_kB" for one run of a program on a file.
measure() {
  local report
  /usr/bin/time -v -o "$work/time.txt" "$@" >/dev/null 2>&1 || true
  report=$(<"$work/time.txt")
  local peak seconds
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' <<<"$report")
  seconds=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' <<<"$report" |
            awk -F: '{ s = 0; for (i = 1; i <= NF; ++i) s = s * 60 + $i; print s }')
  echo "$seconds $peak"
}

small_mb=$(awk -v m="$mb" 'BEGIN { print m / 5 }')
printf '%-8s %6s %10s %10s %12s %12s %8s\n' document MB "comsvc s" "peer s" "comsvc MB" "peer MB" "peak x"
for kind in arrays objects; do
  for size in "$small_mb" "$mb"; do
    file=$work/$kind-$size.json
    make_document "$kind" "$size" "$file"
    # Each program runs twice, interleaved; the lower peak and time count.
    read -r t1 p1 < <(measure "$comsvc" json --typed "$file")
    read -r u1 q1 < <(measure "$peer" "$file")
    read -r t2 p2 < <(measure "$comsvc" json --typed "$file")
    read -r u2 q2 < <(measure "$peer" "$file")
    awk -v k="$kind" -v f="$file" -v t1="$t1" -v t2="$t2" -v u1="$u1" -v u2="$u2" \
        -v p1="$p1" -v p2="$p2" -v q1="$q1" -v q2="$q2" -v bytes="$(stat -c %s "$file")" 'BEGIN {
      t = t1 < t2 ? t1 : t2; u = u1 < u2 ? u1 : u2; p = p1 < p2 ? p1 : p2; q = q1 < q2 ? q1 : q2
      printf "%-8s %6.1f %10.2f %10.2f %12.0f %12.0f %8.2f\n", k, bytes / 1e6, t, u, p / 1024, q / 1024, p / q
    }'
  done
done
echo "target: comsvc's peak <= 1.5x the peer's on each file, time linear in the size"
