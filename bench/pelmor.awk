# The job of "pelmor -" written in awk, as the yardstick for its speed: the
# local magnitude of every reading of a bulletin, by linear interpolation in
# the calibration table, in double precision (not byte-exact with pelmor).
BEGIN {
    split("1.4 1.4 1.5 1.6 1.7 1.9 2.1 2.3 2.4 2.5 2.6 2.7 2.8 2.8 2.8 2.8 2.9 2.9 3.0 3.0 " \
          "3.0 3.1 3.1 3.2 3.2 3.3 3.3 3.4 3.4 3.5 3.5 3.6 3.65 3.7 3.7 3.8 3.8 3.9 3.9 4.0 " \
          "4.0 4.1 4.1 4.2 4.2 4.3 4.3 4.3 4.4 4.4 4.5 4.5 4.5 4.6 4.6 4.6 4.6 4.7 4.7 4.7 " \
          "4.7 4.8 4.8 4.8 4.8 4.8 4.9 4.9 4.9 4.9 4.9 5.2 5.4 5.5 5.7", t, " ")
    for (i = 1; i <= 75; i++) sigma[i - 1] = t[i] + 0
    ln10 = log(10)
}
{
    a = $1 + 0; d = $2 + 0
    if (d < 1 || d >= 1000) { print ""; next }
    if (d > 600) { delta = 100; off = 64 } else if (d > 100) { delta = 10; off = 10 } else { delta = 5; off = 0 }
    i = int(d / delta); k = off + i
    printf "%4.2f\n", log(a) / ln10 + (d - i * delta) * (sigma[k + 1] - sigma[k]) / delta + sigma[k]
}
