#!/bin/sh
# Runs every benchmark executable (bench_*) under BUILD_DIR/bench and prints its figures.
# Exits non-zero if one of them fails.
set -eu
if [ $# -lt 1 ]; then
    echo "usage: $0 BUILD_DIR [benchmark options...]" >&2
    exit 2
fi
build=$1
shift
benches=$(find "$build/bench" -type f -executable -name 'bench_*' 2>/dev/null | sort)
if [ -z "$benches" ]; then
    echo "run-bench: no bench_* executables under $build/bench (build with ROZ_WITH_BENCH=ON)" >&2
    exit 1
fi
status=0
for bench in $benches; do
    echo "== $(basename "$bench")"
    "$bench" "$@" || status=1
done
exit $status
