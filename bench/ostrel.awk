# The job of ostrel written in awk, as the yardstick for its speed: the
# network label of every stream name of a list, one a line.
BEGIN {
    split("BFO BRG BRNL BUG CLL CLZ FUR GRFO GSH LID MOX STU TNS WET", t, " ")
    for (i in t) grsn[t[i]]
}
{
    code = $0
    if ((i = match(code, /[-,]/))) code = substr(code, 1, i - 1)
    code = toupper(code)
    if (code ~ /^GR[A-C][1-5]/) print "GRF"
    else if (code ~ /^GE[A-D][0-9]/) print "GERESS"
    else if (code in grsn) print "GRSN"
    else print code
}
