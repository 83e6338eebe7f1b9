#!/usr/bin/env bash
# Writes the seed inputs of every fuzz target into corpus/<target>/. Run it by
# hand after changing how a target reads its input; the run script only reads
# the seeds. Layouts are described at the top of each target's source.
set -euo pipefail
cd "$(dirname "$0")"
mkdir -p corpus && cd corpus

# bytes HEX...: the given bytes, as they are
bytes() { local hex; for hex in "$@"; do printf "\\x$hex"; done; }
# back HEX...: bytes read from the end of the input by FuzzedDataProvider, given
# in the order they are read
back() { local -a hex=("$@"); local i; for ((i = ${#hex[@]} - 1; i >= 0; --i)); do printf "\\x${hex[i]}"; done; }
seed() { mkdir -p "$1"; cat > "$1/$2"; }

frame=(FF FF 00 00 00 64 0A 50 F0 7F)
other=(FF FF 01 02 03 80 81 82 83 84)
# Back: six bytes of first sample number, two of earlier frames, one control per read.
tail_fresh=(00 00 00 00 00 00 00 00)
{ bytes "${frame[@]}"; back "${tail_fresh[@]}" 0A; } | seed fuzz_telemetry whole-frame
{ bytes "${frame[@]}"; printf 'OK\r\n'; bytes "${other[@]}";
  back "${tail_fresh[@]}" 03 07 04 02 08; } | seed fuzz_telemetry cut-frames-and-text
{ bytes FF; bytes "${frame[@]:1}"; printf 'boot\n'; back "${tail_fresh[@]}" 01 09 05; } | seed fuzz_telemetry lone-ff
# Two frames and text in one read, FF FF inside the second frame's readings.
{ bytes "${frame[@]}"; printf 'ok'; bytes FF FF 00 00 00 FF FF 01 FF FF; printf 'A'; bytes FF; printf 'B';
  back "${tail_fresh[@]}" 1A; } | seed fuzz_telemetry frames-and-text-in-one-read
# A character cut by a frame and by a read, and a frame head left at the end.
{ bytes E4 B8; bytes "${frame[@]}"; bytes AD; printf 'x'; bytes E4; printf 'A'; bytes FF FF 00 00;
  back "${tail_fresh[@]}" 01 0C 02 02 04; } | seed fuzz_telemetry cut-character-and-held-head
{ bytes "${other[@]}"; back 00 00 00 00 00 01 01 F4 0A; } | seed fuzz_telemetry full-chart

# First byte: 0 UTF-8, 1 Latin-1, 2 UTF-16 code units.
{ bytes 00; printf '12 ab\n CD'; } | seed fuzz_hexinput digits-and-white-space
{ bytes 01; printf ' \t\r\n\v\f'; } | seed fuzz_hexinput blank
{ bytes 00; printf '0x1G'; } | seed fuzz_hexinput foreign-characters
{ bytes 01; printf 'A'; bytes A0 85; } | seed fuzz_hexinput latin1-spaces
{ bytes 02; printf '1\0 \0'; bytes 00 D8 41 00; } | seed fuzz_hexinput lone-surrogate

{ bytes 00; printf '  12 AB '; } | seed fuzz_registerfield blanks
{ bytes 00; printf '0x00FF'; } | seed fuzz_registerfield prefix
{ bytes 00; printf '12ABC'; } | seed fuzz_registerfield too-wide
{ bytes 00; printf ' 0X0x1'; } | seed fuzz_registerfield prefixes-twice
{ bytes 01; printf '\t'; } | seed fuzz_registerfield blank

# Back: port count, then per port: piece count, per piece a choice and a fragment
# index (raw pieces come from the front instead), then for each identifier a
# presence flag and two bytes.
{ printf 'ttyUSB0\\X'; back 02  01 01 00  01 01 08  01 1A 86  01 75 23  01 00  01 01 00  00  00; } \
    | seed fuzz_portlisting usb-and-bluetooth
{ back 03  01 01 01  00  01 FF FF  00   01 01 02  01 01 06  00  00   01 01 03  00  01 00 00  00; } \
    | seed fuzz_portlisting vendors-dropped
{ printf 'pts/3\\X\\\\%%2\\X'; back 01  02 00 00  02 01 0B 01 0C  01 04 03  01 AB CD; } \
    | seed fuzz_portlisting placeholders

# The image itself.
head -c 32 /dev/zero | tr '\0' '\132' | seed fuzz_flashpackets one-whole-packet
{ head -c 32 /dev/zero | tr '\0' '\245'; bytes 01; } | seed fuzz_flashpackets one-byte-over
for ((i = 0; i < 100; ++i)); do printf "\\x$(printf %02x $i)"; done | seed fuzz_flashpackets counting
