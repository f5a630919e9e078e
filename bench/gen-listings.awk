# Writes two listings of an archive, the same on every run: `old` with
# `records` records, and `new` with as many, in another order (the order of
# another walk through the folders), 1% of them new and as many of the old
# ones gone.
# Usage: mawk -v records=500000 -v old=old.lst -v new=new.lst -f gen-listings.awk

# Park-Miller minimal standard generator: exact in double arithmetic, so
# every awk gives the same sequence.
function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }

# Record i: the file of one day of one channel, its size and its time.
# Distinct i give distinct file names.
function record(i,    net, sta, cha, year, day) {
    cha = channels[i % 6]; i = int(i / 6)
    sta = stations[i % 16]; i = int(i / 16)
    net = nets[i % 4]; i = int(i / 4)
    day = 1 + i % 365; year = 1995 + int(i / 365)
    return sprintf("%d/%s/%s/%s.D/%s.%s..%s.D.%d.%03d,%d,%d-%02d-%02dT%02d:%02d",
                   year, net, sta, cha, net, sta, cha, year, day,
                   4096 + rnd(9000000), year, 1 + rnd(12), 1 + rnd(28), rnd(24), rnd(60))
}

BEGIN {
    seed = 20241209
    split("GR BW SX TH", a, " "); for (i in a) nets[i - 1] = a[i]
    split("BFO BRG BRNL BUG CLL CLZ FUR GRFO GSH LID MOX STU TNS WET WLF RUE", a, " ")
    for (i in a) stations[i - 1] = a[i]
    split("BHZ BHN BHE HHZ HHN HHE", a, " "); for (i in a) channels[i - 1] = a[i]
    fresh = int(records / 100)
    for (i = 0; i < records; i++) {
        rec[i] = record(i)
        print rec[i] > old
    }
    # The new listing: the old records but `fresh` of them, and `fresh` new
    # ones, shuffled (Fisher-Yates).
    for (i = 0; i < fresh; i++) rec[rnd(records)] = record(records + i)
    for (i = records - 1; i > 0; i--) {
        j = rnd(i + 1); t = rec[i]; rec[i] = rec[j]; rec[j] = t
    }
    for (i = 0; i < records; i++) print rec[i] > new
}
