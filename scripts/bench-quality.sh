#!/usr/bin/env bash
# Solution-quality benchmark: tourloom on the published TSPLIB and
# time-window instances of ../shared/benchmarks at fixed time limits, with
# the gap to the optimal or best-known value and, for time windows, a
# classic feasibility replay of every tour. Writes bench/results/quality.csv
# and quality.md and, from them, the gap figures (bench/plots.py).
#
#   scripts/bench-quality.sh                       every instance at 1 s and 10 s (~50 min)
#   scripts/bench-quality.sh --quick               a few instances at 1 s, into build/bench-quick
#   scripts/bench-quality.sh --budgets descent,1,3,10   (any option of bench/quality.py)
#   scripts/bench-quality.sh --peers               tourloom and its peers side by side (bench/compare.py:
#                                                  every instance at 1 s and 10 s, several hours)
#   scripts/bench-quality.sh --peers --subset      the stated subset of bench/compare.py (~35 min)
#
# --peers installs the `bench-peers` extra (OR-Tools, PyVRP, pyvroom,
# fast-tsp, python-tsp, elkai) into the same venv and writes
# bench/results/peers.{csv,md} and peers_<set>.png; other options go to
# bench/compare.py.
#
# The module is built from the committed source (HEAD, via git archive) into
# the venv build/venv-bench, with tsplib95 and the `plot` extra (matplotlib);
# TOURLOOM_SOURCE=worktree builds the working tree instead. Times are
# wall-clock: run it on a quiet machine.
# Environment: PYTHON (default python3), VENV (default build/venv-bench),
# TOURLOOM_BENCHMARKS (default ../shared/benchmarks beside the repository).
set -euo pipefail
ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PYTHON=${PYTHON:-python3}
VENV=${VENV:-$ROOT/build/venv-bench}
SOURCE=${TOURLOOM_SOURCE:-head}
peers=0
args=()
for arg in "$@"; do
  if [[ $arg == --peers ]]; then peers=1; else args+=("$arg"); fi
done
extras=plot
[[ $peers == 1 ]] && extras=plot,bench-peers

if [[ ! -x $VENV/bin/python ]]; then
  "$PYTHON" -m venv "$VENV"
fi

if [[ $SOURCE == worktree ]] || ! git -C "$ROOT" rev-parse --verify -q HEAD >/dev/null 2>&1; then
  src=$ROOT
  revision="working tree of $(git -C "$ROOT" describe --always --dirty 2>/dev/null || echo "$ROOT")"
  stamp=worktree-$(date +%s)
else
  revision=$(git -C "$ROOT" rev-parse --short HEAD)
  stamp=$revision
  src=$ROOT/build/bench-src-$revision
  if [[ ! -f $src/pyproject.toml ]]; then
    rm -rf "$src" && mkdir -p "$src"
    git -C "$ROOT" archive HEAD | tar -x -C "$src"
  fi
  revision="commit $revision"
fi

# Reinstall only when the source or the extras changed.
if [[ $(cat "$VENV/.tourloom-source" 2>/dev/null) != "$stamp+$extras" ]]; then
  "$VENV/bin/python" -m pip install -q --upgrade "$src[$extras]" tsplib95
  echo "$stamp+$extras" >"$VENV/.tourloom-source"
fi

export TOURLOOM_BENCH_REVISION=$revision
export TOURLOOM_BENCH_COMMAND="bash scripts/bench-quality.sh $*"
status=0
if [[ $peers == 1 ]]; then
  "$VENV/bin/python" "$ROOT/bench/compare.py" ${args[@]+"${args[@]}"} || status=$?
  exit $status
fi
"$VENV/bin/python" "$ROOT/bench/quality.py" "$@" || status=$?

quick=0
for arg in "$@"; do [[ $arg == --quick ]] && quick=1; done
if [[ $quick == 0 && -f $ROOT/bench/results/quality.csv ]] && [[ " $* " != *" --out "* ]]; then
  "$VENV/bin/python" "$ROOT/bench/plots.py" "$ROOT/bench/results/quality.csv" --out "$ROOT/bench/results"
fi
exit $status
