# Writes two old listings of `records` records of 256 characters each, and so
# of one size: `crafted`, whose records all share one value of the hash that
# tessik NEW OLD once found its records by, and `ordinary`, of records like
# them written at random.  Each 16-character block of a crafted record has
# the high bits of its 8th, 12th and 16th characters all set or all clear:
# that hash, whatever its seed, could not tell the two apart, so the
# records all went to one run of slots.
# Usage: mawk -v records=60000 -v crafted=c.lst -v ordinary=o.lst -f gen-crafted.awk

function rnd(n) { seed = (seed * 16807) % 2147483647; return seed % n }

BEGIN {
    seed = 20261209
    plain = "abcdefghijklmnop"
    flipped = "abcdefg" sprintf("%c", 232) "ijk" sprintf("%c", 236) "mno" sprintf("%c", 240)
    for (i = 0; i < records; i++) {
        rec = ""
        n = i
        for (j = 0; j < 16; j++) {
            rec = rec (n % 2 ? flipped : plain)
            n = int(n / 2)
        }
        print rec > crafted
        rec = ""
        for (j = 0; j < 256; j++) rec = rec substr(plain, 1 + rnd(16), 1)
        print rec > ordinary
    }
}
