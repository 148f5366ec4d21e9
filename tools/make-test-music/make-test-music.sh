#!/usr/bin/env bash
# Rebuilds the small MP3s that the tests and the example demo play:
#   tests/data/test_music.mp3       (6 s, 128 kbit/s; see synth.py)
#   tests/data/tone220_24k.mp3      (1 s of 220 Hz at 24 kHz, 32 kbit/s)
#   tests/data/tone220_48k.mp3      (1 s of 220 Hz at 48 kHz, 64 kbit/s)
#   examples/lumenfall/music.mp3    (about 33 s at 88 bpm, 64 kbit/s)
#   share/template/music.mp3        (about 11 s at 88 bpm, 48 kbit/s)
# Needs python3 and lame (scripts/install-deps.sh installs lame).
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# --noreplaygain and fixed bit rates keep the output the same from run to
# run; lame writes its info tag, which carries the exact length and the
# encoder delay and padding that gapless decoding removes.
encode() { lame --silent --noreplaygain -q 2 "$@"; }

python3 "$here/synth.py" test "$work/test.wav"
encode -b 128 "$work/test.wav" "$root/tests/data/test_music.mp3"

# The same tone at two sample rates: the output resamples both to one rate.
python3 "$here/synth.py" tone 220 1 24000 "$work/tone24.wav"
encode -b 32 --resample 24 "$work/tone24.wav" "$root/tests/data/tone220_24k.mp3"
python3 "$here/synth.py" tone 220 1 48000 "$work/tone48.wav"
encode -b 64 --resample 48 "$work/tone48.wav" "$root/tests/data/tone220_48k.mp3"

python3 "$here/synth.py" demo "$work/demo.wav"
encode -b 64 "$work/demo.wav" "$root/examples/lumenfall/music.mp3"

python3 "$here/synth.py" template "$work/template.wav"
encode -b 48 "$work/template.wav" "$root/share/template/music.mp3"

ls -l "$root/tests/data/"*.mp3 "$root/examples/lumenfall/music.mp3" "$root/share/template/music.mp3"
