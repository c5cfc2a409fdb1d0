#!/usr/bin/env bash
# Times `kvxinfo metrics` against `kvxinfo --json` (the inventory) on the
# demo's host, whose program folder is filled up to 2,000 files before an
# update to the sample package copies it: both read the same registry, trees and
# servers; metrics adds verify's health checks and the day logs. With
# --package, against `kvxinfo --json verify PACKAGE`, which compares the
# same files.
#
#   bench/metrics-run.sh [BUILD_DIR]     (default: build next to bench/)
#
# Runs itself inside tests/support/sandbox-run. Each command runs RUNS times
# (default 5), alternating; the best time of each counts.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$here/build}" && pwd)
kvxinfo=$build/kvxinfo/kvxinfo
installer=$build/bench/UPDSilent_nosleep
for tool in "$kvxinfo" "$installer"; do
  [ -x "$tool" ] || { echo "missing $tool: build kvxinfo and UPDSilent_nosleep" >&2; exit 1; }
done
if [[ -z "${KVX_SANDBOX_ROOT:-}" ]]; then
  exec "$here/tests/support/sandbox-run" "$0" "$build"
fi
RUNS=${RUNS:-5}

work=$(mktemp -d /tmp/kvx-metrics-bench.XXXXXX)
chmod 755 "$work"
domsim=$build/sim/domsim
export DOMSIM_BIN=$build/sim
partitions=()
# shellcheck source=../scripts/demo-host
source "$here/scripts/demo-host"
trap 'for p in "${partitions[@]}"; do "$domsim" stop "$p" >/dev/null 2>&1 || true; done; rm -rf "$work"' EXIT
make_host "$work" 2 2 >/dev/null
program=$work/kvx1/program/V5.8.0.1200
have=$(find "$program" -type f | wc -l)
for ((i = have; i < 2000; i++)); do
  mkdir -p "$program/res/p$((i % 20))"
  head -c 1024 /dev/urandom >"$program/res/p$((i % 20))/file$i.dat"
done
echo "program folder: $(find "$program" -type f | wc -l) files"
cp -r "$here/examples/package" "$work/package"
cp "$installer" "$work/package/UPDSilent"
(cd "$work/package" && ./UPDSilent)

now() { date +%s.%N; }
best() {  # best of RUNS for each of two commands, alternating: "ours theirs"
  local a=$1 b=$2 ba=999 bb=999 t0 d
  for _ in $(seq "$RUNS"); do
    t0=$(now); eval "$a" >/dev/null || true; d=$(echo "$(now) - $t0" | bc -l)
    (($(echo "$d < $ba" | bc -l))) && ba=$d
    t0=$(now); eval "$b" >/dev/null || true; d=$(echo "$(now) - $t0" | bc -l)
    (($(echo "$d < $bb" | bc -l))) && bb=$d
  done
  printf "%-44s %7.3f s %7.3f s %6.2f\n" "$3" "$ba" "$bb" "$(echo "$ba / $bb" | bc -l)"
}
printf "%-44s %9s %9s %6s\n" case metrics anchor ratio
best "$kvxinfo metrics" "$kvxinfo --json" "metrics vs --json"
best "$kvxinfo metrics --package $work/package" "$kvxinfo --json verify $work/package" \
  "metrics --package vs --json verify"
