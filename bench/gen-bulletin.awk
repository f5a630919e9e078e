# Writes a bulletin of `lines` amplitude readings, the same on every run:
# an amplitude from 0.01 to 10,000 with decimals and an epicentral distance
# from 1 to 999 km with one decimal, then a station and a phase as further
# columns.  Usage: mawk -v lines=1000000 -f gen-bulletin.awk > bulletin
function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }
BEGIN {
    seed = 19870429
    split("BFO BRG BRNL BUG CLL CLZ FUR GRFO GSH LID MOX STU TNS WET", sta, " ")
    for (i = 0; i < lines; i++) {
        e = rnd(6)           # decade of the amplitude: 0.01 to 10,000
        a = (1 + rnd(9000) / 1000) * 10 ^ (e - 2)
        printf "%.*f\t%d.%d\t%s\tML\n", (e < 4 ? 4 - e : 1), a, 1 + rnd(999), rnd(10), sta[1 + rnd(14)]
    }
}
