#!/bin/sh
# check_statistics.sh OUT
# Succeeds when OUT is exactly the show's statistics block for a show ended
# by Esc during its frames: the two rules, a frame count from 1 to 2721 (the
# whole course draws 2722), a time above zero and a rate matching the two.
set -eu
awk '
    NR == 1 || NR == 5 { if ($0 != "*********************") bad = 1; next }
    NR == 2 { if ($1 != "Frames" || $2 !~ /^[0-9]+$/ || NF != 2) bad = 1; frames = $2 + 0; next }
    NR == 3 { if ($1 != "Time" || $2 !~ /^[0-9.]+$/ || NF != 2) bad = 1; time = $2 + 0; next }
    NR == 4 { if ($1 != "Fps" || $2 !~ /^[0-9.]+$/ || NF != 2) bad = 1; fps = $2 + 0; next }
    { bad = 1 }
    END {
        if (bad || NR != 5) exit 1
        if (frames < 1 || frames > 2721 || time <= 0) exit 1
        # The rate is printed to six significant digits from the unrounded time.
        d = frames / time - fps
        if (d < 0) d = -d
        if (d > 0.01 * fps + 0.01) exit 1
    }' "$1"
