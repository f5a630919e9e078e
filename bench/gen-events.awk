# Writes a bulletin of `lines` readings in `events` events, the same on every
# run: an event id (its origin time), an amplitude, an epicentral distance, a
# station and a phase.  An event has 1 to 19 readings, 10 on average, and
# the readings of up to four events close in time interleave, as picks
# arrive.  Usage: mawk -v lines=1000000 -v events=100000 -f gen-events.awk
# (lines must be ten times events).
function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }
# A new event, in slot i of those open: its id and its number of readings,
# 10 + r and 10 - r by turns, so that each pair has 20.
function start(i) {
    t += 1 + rnd(500)
    id[i] = sprintf("2024-%03dT%02d:%02d:%02d.%d", 1 + int(t / 86400), int(t % 86400 / 3600),
                    int(t % 3600 / 60), t % 60, rnd(10))
    if (started++ % 2 == 0) { r = rnd(10); left[i] = 10 + r } else left[i] = 10 - r
    open++
}
BEGIN {
    seed = 20240611; open = 0; started = 0; t = 0
    split("BFO BRG BRNL BUG CLL CLZ FUR GRFO GSH LID MOX STU TNS WET", sta, " ")
    while (open < 4 && started < events) start(open)
    for (made = 0; made < lines; made++) {
        i = rnd(open)
        e = rnd(6)  # decade of the amplitude: 0.01 to 10,000
        a = (1 + rnd(9000) / 1000) * 10 ^ (e - 2)
        printf "%s %.*f %d.%d %s ML\n", id[i], (e < 4 ? 4 - e : 1), a, 1 + rnd(999), rnd(10), sta[1 + rnd(14)]
        if (--left[i] == 0) {
            open--; id[i] = id[open]; left[i] = left[open]
            if (started < events) start(open)
        }
    }
}
