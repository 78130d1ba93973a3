#!/bin/sh
# Runs every libFuzzer target in BUILD_DIR/fuzz for SECONDS each, keeping a corpus per target
# under BUILD_DIR/fuzz-corpus and crash inputs under BUILD_DIR/fuzz-artifacts.
# Exits non-zero as soon as a target finds a crash (or cannot run).
set -eu
if [ $# -ne 2 ]; then
    echo "usage: $0 BUILD_DIR SECONDS" >&2
    exit 2
fi
build=$1
seconds=$2
targets=$(find "$build/fuzz" -maxdepth 1 -type f -executable -name '*_fuzz' 2>/dev/null | sort)
if [ -z "$targets" ]; then
    echo "run-fuzz: no fuzz targets in $build/fuzz (configure with the fuzz preset)" >&2
    exit 1
fi
for target in $targets; do
    name=$(basename "$target")
    corpus="$build/fuzz-corpus/$name"
    artifacts="$build/fuzz-artifacts/$name/"
    mkdir -p "$corpus" "$artifacts"
    echo "run-fuzz: $name for ${seconds}s"
    # The outer timeout bounds a target that hangs beyond libFuzzer's own limits.
    if ! timeout --kill-after=10 $((seconds + 120)) "$target" \
        -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 -max_len=4200 \
        -print_final_stats=1 -artifact_prefix="$artifacts" "$corpus"; then
        echo "run-fuzz: $name FAILED; inputs in $artifacts" >&2
        exit 1
    fi
done
echo "run-fuzz: all targets clean"
