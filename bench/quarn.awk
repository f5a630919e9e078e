# The job of quarn written in awk, as the yardstick for its speed: the
# identifiers of the 30-arc-second datasets of a raster catalogue whose
# region holds the point lat/lon.
# Usage: mawk -v lat=45 -v lon=10 -f quarn.awk grdraster.info
# Numbers are read as "%f" reads decimal notation, the only notation the
# generated catalogues use; lines are taken whole, which is how quarn takes
# every line shorter than 255 characters.
BEGIN {
    num = "[ \t\n\v\f\r]*[-+]?([0-9]+[.]?[0-9]*|[.][0-9]+)([eE][-+]?[0-9]+)?"
    four = "^" num "/" num "/" num "/" num
    lat += 0; lon += 0
}
/^#/ || $0 == "" || length($0) < 19 { next }
substr($0, 4, 5) != "30sec" && substr($0, 5, 5) != "30sec" { next }
{
    at = index($0, "-R")
    if (!at) next
    r = substr($0, at + 2)
    if (!match(r, four)) next
    split(substr(r, 1, RLENGTH), b, "/")
    if (b[3] + 0 > lat || lat > b[4] + 0 || b[1] + 0 > lon || lon > b[2] + 0) next
    if (match($0, /^[ \t\n\v\f\r]*[-+]?[0-9]+/)) printf "%d\n", substr($0, 1, RLENGTH)
}
