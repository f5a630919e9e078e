# Writes a raster catalogue in the layout of GMT's grdraster.info, about
# `bytes` bytes, the same on every run: one line in ten a comment, half the
# records 30-arc-second datasets with a region in decimal degrees, the other
# half coarser datasets (some with a region in degrees and minutes).
# Identifiers run from 1 to 99, so the title's resolution starts at offset 3
# or 4.  Usage: mawk -v bytes=67108864 -f gen-catalogue.awk > grdraster.info

# Park-Miller minimal standard generator: exact in double arithmetic, so
# every awk gives the same sequence.
function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }

# A bound on a grid of 5 degrees, now and then a quarter, half or three
# quarters of a degree off it: all exact in single precision, as are the
# points looked up.
function bound(low, steps) { return low + 5 * rnd(steps) + (rnd(20) == 0 ? 0.25 * (1 + rnd(3)) : 0) }

function region(    w, e, s, n) {
    w = bound(-180, 64); e = w + bound(5, 14)
    s = bound(-90, 28); n = s + bound(5, 8)
    return "-R" w "/" e "/" s "/" n
}

function record(    id, line) {
    id = 1 + rnd(99)
    if (rnd(2))
        return sprintf("%d \"30sec %s tile %d\" \"m\" %s -I30c GL 1 0 -32768 /data/dbase/%s_%05d.i2 LB\n",
                       id, sources[rnd(3)], rnd(100000), region(), sources[rnd(3)], rnd(100000))
    line = sprintf("%d \"%s %s topography\" \"meters\" ", id, coarse[rnd(4)], sources[rnd(3)])
    if (rnd(4) == 0)
        return line "-R0/359:55/-90/90 -I5m GL 2 0 -32768 etopo5.i2 LB\n"
    return line region() " -I2m GL 1 0 -9999 /data/dbase/grid_" rnd(100000) ".i2 B\n"
}

BEGIN {
    seed = 19990301
    split("SRTM30 GTOPO30 ETOPO1", a, " "); for (i in a) sources[i - 1] = a[i]
    split("5min 2min 1deg 10min", a, " "); for (i in a) coarse[i - 1] = a[i]
    size = 0
    while (size < bytes) {
        line = rnd(10) == 0 ? "# " record() : record()
        printf "%s", line
        size += length(line)
    }
}
