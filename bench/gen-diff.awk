# Writes a diff output of about `bytes` bytes (normal format), the same on
# every run: hunks of change commands ("3c3", "5,8d4", "9a10,11"), records
# only in the new listing ('<'), the separator ("---") and records only in
# the old listing ('>').  About 60% of the lines are '<' records.
# Usage: mawk -v bytes=268435456 -f gen-diff.awk > diff.out

# Park-Miller minimal standard generator: exact in double arithmetic, so
# every awk gives the same sequence.
function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }

function range(first, count) { return count == 1 ? first : first "," (first + count - 1) }

# A listing record: the file name of a day of waveform data, its size and
# its modification time.
function record(mark,    net, sta, cha, year, day) {
    net = nets[rnd(4)]; sta = stations[rnd(16)]; cha = channels[rnd(6)]
    year = 1995 + rnd(30); day = 1 + rnd(365)
    return sprintf("%s %d/%s/%s/%s.D/%s.%s..%s.D.%d.%03d,%d,%d-%02d-%02dT%02d:%02d\n",
                   mark, year, net, sta, cha, net, sta, cha, year, day,
                   4096 + rnd(9000000), year, 1 + rnd(12), 1 + rnd(28), rnd(24), rnd(60))
}

BEGIN {
    seed = 20240501
    split("GR BW SX TH", a, " "); for (i in a) nets[i - 1] = a[i]
    split("BFO BRG BRNL BUG CLL CLZ FUR GRFO GSH LID MOX STU TNS WET WLF RUE", a, " ")
    for (i in a) stations[i - 1] = a[i]
    split("BHZ BHN BHE HHZ HHN HHE", a, " "); for (i in a) channels[i - 1] = a[i]
    old = 0; new = 0; size = 0
    while (size < bytes) {
        common = 1 + rnd(20); old += common; new += common
        kind = rnd(10); gone = 1 + rnd(10); came = 1 + rnd(3)
        if (kind < 5) {
            text = range(old + 1, gone) "c" range(new + 1, came) "\n"
        } else if (kind < 8) {
            came = 0; text = range(old + 1, gone) "d" new "\n"
        } else {
            gone = 0; text = old "a" range(new + 1, came) "\n"
        }
        for (i = 0; i < gone; i++) text = text record("<")
        if (gone && came) text = text "---\n"
        for (i = 0; i < came; i++) text = text record(">")
        old += gone; new += came
        printf "%s", text
        size += length(text)
    }
}
