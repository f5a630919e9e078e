# Writes `names` stream names, one a line, the same on every run: a station
# code (members of the three networks and others, in upper or lower case),
# mostly followed by a channel and a component.
# Usage: mawk -v names=100000 -f gen-streams.awk > streams
function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }
BEGIN {
    seed = 20261209
    split("BFO BRG BRNL BUG CLL CLZ FUR GRFO GSH LID MOX STU TNS WET " \
          "GRA1 GRB3 GRC5 GEA0 GEB7 GED9 KIEV ANTO GRA6 GEE1 STU1", sta, " ")
    split("-bh-z -bh-n -bh-e -hh-z -lh-z ,bhz", chan, " ")
    for (i = 0; i < names; i++) {
        s = sta[1 + rnd(25)]
        if (rnd(2)) s = tolower(s)
        print s (rnd(8) ? chan[1 + rnd(6)] : "")
    }
}
