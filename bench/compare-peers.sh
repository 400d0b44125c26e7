#!/usr/bin/env bash
# Whole-song render speed of both engines next to WildMidi's, in the same run on the same machine:
# each program renders each song to a 44.1 kHz WAV file as a whole process, best of three runs,
# and the speed is the WAV's length over that time ("x real time"). WildMidi is a peer, not a
# dependency: without it its column reads "-".
#
#   bench/compare-peers.sh [BUILD] [SONG...]
#
# The songs default to bench_render's dense song and a real General MIDI song: PEER_SONG, else
# one from the openttd-openmsx package when it is installed, else resources/demo.mid.
set -euo pipefail

build=${1:-build}
shift || true
cli=$build/zeblo-cli
out=$build/peers
mkdir -p "$out"
"$build/bench/bench_render" --write-song "$out/dense.mid" >/dev/null

songs=("$@")
if [ ${#songs[@]} -eq 0 ]; then
    real=${PEER_SONG:-/usr/share/games/openttd/baseset/openmsx/keep_on_rolling.mid}
    [ -f "$real" ] || real=$(dirname "$0")/../resources/demo.mid
    songs=("$out/dense.mid" "$real")
fi

wildmidi_config=""
if command -v wildmidi >/dev/null 2>&1; then
    for cfg in /etc/wildmidi/wildmidi.cfg /etc/timidity/freepats.cfg \
        /usr/share/midi/freepats/freepats.cfg; do
        if [ -f "$cfg" ]; then
            wildmidi_config=$cfg
            break
        fi
    done
fi

# Seconds of 16-bit stereo 44.1 kHz audio in a WAV file (a 44-byte header).
wav_seconds() {
    local bytes
    bytes=$(stat -c %s "$1")
    awk -v b="$bytes" 'BEGIN { printf "%.3f", (b - 44) / (44100 * 4) }'
}

# The best wall-clock time and the best processor time (user + system) of three runs of the
# command, in seconds; nothing when it fails. On a busy machine the processor time is the steadier.
best_of_three() {
    local best_wall="" best_cpu="" times
    for _ in 1 2 3; do
        times=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1) || return 0
        best_wall=$(awk -v best="$best_wall" -v t="$times" \
            'BEGIN { split(t, f, " "); print (best == "" || f[1] < best) ? f[1] : best }')
        best_cpu=$(awk -v best="$best_cpu" -v t="$times" \
            'BEGIN { split(t, f, " "); c = f[2] + f[3]; print (best == "" || c < best) ? c : best }')
    done
    echo "$best_wall $best_cpu"
}

# "x real time" for one program on one song, by wall clock and by processor time, or "-".
speed() {
    local wav=$1
    shift
    rm -f "$wav"
    local t
    t=$(best_of_three "$@")
    if [ -z "$t" ] || [ ! -s "$wav" ]; then
        echo "-"
        return
    fi
    awk -v s="$(wav_seconds "$wav")" -v t="$t" 'BEGIN {
        split(t, f, " ")
        printf "%5.0fx wall (%.3f s)  %5.0fx cpu (%.3f s)  for %.1f s of audio",
            s / f[1], f[1], s / f[2], f[2], s }'
}

echo "Whole-process renders at 44100 Hz, best of 3, $(nproc) cores, load $(cut -d' ' -f1 /proc/loadavg)"
for song in "${songs[@]}"; do
    name=$(basename "$song")
    [ "$song" -ef "$out/$name" ] || cp "$song" "$out/$name"
    echo "== $name"
    printf '  %-10s %s\n' wavetable \
        "$(speed "$out/wt.wav" "$cli" render --engine wavetable -r 44100 -q -o "$out/wt.wav" "$out/$name")"
    printf '  %-10s %s\n' fm \
        "$(speed "$out/fm.wav" "$cli" render --engine fm -r 44100 -q -o "$out/fm.wav" "$out/$name")"
    if [ -n "$wildmidi_config" ]; then
        printf '  %-10s %s\n' wildmidi \
            "$(speed "$out/wm.wav" wildmidi -c "$wildmidi_config" -r 44100 -o "$out/wm.wav" "$out/$name")"
    else
        printf '  %-10s %s\n' wildmidi "- (not installed)"
    fi
done
