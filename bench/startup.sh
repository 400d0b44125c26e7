#!/usr/bin/env bash
# zeblo-cli's start-up: what a render of a short song costs before its first rendered frame.
# Wall times are the best of 20 whole processes less the best of 20 runs of /bin/true (the cost
# of any process): the whole song, and the song cut at 1 ms (--end), which is the start-up with
# next to nothing rendered. Instructions are counted by callgrind (when installed) up to the
# first call of the renderer, and the dynamic loader's own share by its LD_DEBUG statistics.
#
#   bench/startup.sh [BUILD] [SONG]
set -euo pipefail

build=${1:-build}
song=${2:-$(dirname "$0")/../tests/data/short.mid}
cli=$(realpath "$build/zeblo-cli")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$song" "$work/song.mid"

python3 - "$cli" "$work/song.mid" <<'PY'
import os, sys, time
def best(argv, runs=20):
    fastest = None
    for _ in range(runs):
        start = time.perf_counter_ns()
        pid = os.posix_spawn(argv[0], argv, os.environ)
        _, status = os.waitpid(pid, 0)
        took = time.perf_counter_ns() - start
        if status != 0:
            sys.exit(f"startup: {argv} failed")
        fastest = took if fastest is None else min(fastest, took)
    return fastest / 1e6
cli, song = sys.argv[1:]
baseline = best(["/bin/true"])
render = best([cli, "render", "-q", song])
start = best([cli, "render", "-q", "--end", "0.001", song])
print(f"best of 20 wall: /bin/true {baseline:.2f} ms; zeblo-cli render -q of a short song "
      f"{render:.2f} ms ({render - baseline:.2f} over the baseline); cut at 1 ms {start:.2f} ms "
      f"(start-up {start - baseline:.2f} ms over the baseline)")
PY

loader=$(cd "$work" && LD_DEBUG=statistics "$cli" render -q song.mid 2>&1 >/dev/null |
    sed -n 's/.*total startup time in dynamic loader: \([0-9]*\) cycles.*/\1/p')
echo "dynamic loader: ${loader:-?} cycles, $(ldd "$cli" | wc -l) shared objects"
if command -v valgrind >/dev/null 2>&1; then
    (cd "$work" && valgrind --tool=callgrind --callgrind-out-file="$work/cg.%p" \
        --dump-before='zeblo::Renderer::Render*' "$cli" render -q song.mid >/dev/null 2>&1)
    first=$(ls "$work"/cg.*.1 2>/dev/null | head -n 1)
    if [ -n "$first" ]; then
        awk '/^summary:/ { printf "instructions before the first rendered frame: %.2f M\n", $2 / 1e6 }' \
            "$first"
    fi
fi
