#!/usr/bin/env bash
# Smoke-run every example in examples/ with small time limits, in the
# interpreter the tests use (tourloom with its kit extra; without matplotlib
# or dask the plotting and cluster examples skip their part).
# Fails when an example exits non-zero or has no entry below.
#
#   scripts/test-examples.sh
#
# Interpreter: see scripts/module-python.sh.
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

# shellcheck source=module-python.sh
source "$ROOT/scripts/module-python.sh"

# Each example runs from an empty folder, so that none depends on the
# current directory and whatever it writes is thrown away.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# example -> arguments of each smoke run (runs separated by '|')
declare -A runs=(
  [delivery_day.py]=""                                         # one descent
  [tsplib_instance.py]="--time-limit 1|--data $work/none --time-limit 0"
  [time_window_instance.py]="--time-limit 1|--data $work/none --time-limit 1"
  [plot_schedule.py]="--time-limit 1 --output $work/schedule.png"
  [parallel_pool.py]="--instances 4 --size 20 --time-limit 1"
  [dask_cluster.py]="--instances 8 --size 20 --time-limit 0"      # a two-worker LocalCluster
)

failed=0
for path in "$ROOT"/examples/*.py; do
  name=$(basename "$path")
  if [[ -z ${runs[$name]+set} ]]; then
    echo "test-examples: $name has no smoke run in scripts/test-examples.sh" >&2
    failed=1
    continue
  fi
  IFS='|' read -r -a variants <<<"${runs[$name]}"
  [[ ${#variants[@]} -eq 0 ]] && variants=("")
  for args in "${variants[@]}"; do
    read -r -a argv <<<"$args"
    start=$(date +%s%N)
    if (cd "$work" && "$py" "$path" "${argv[@]}" >"$work/out.txt" 2>&1); then
      ms=$((($(date +%s%N) - start) / 1000000))
      printf '   ok    %-26s %-44s %3d.%01d s\n' "$name" "$args" $((ms / 1000)) $((ms % 1000 / 100))
    else
      printf '   FAIL  %-26s %s\n' "$name" "$args"
      sed 's/^/      /' "$work/out.txt"
      failed=1
    fi
  done
done
[[ $failed == 0 ]] && echo "test-examples: every example ran"
exit $failed
