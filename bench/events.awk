# The job of "pelmor -n" written in awk, as the yardstick for its speed: the
# magnitude of every reading of a bulletin whose lines begin with an event,
# as bench/pelmor.awk computes it, and a plain mean of each event's
# magnitudes, the events in the order of their first readings.
BEGIN {
    split("1.4 1.4 1.5 1.6 1.7 1.9 2.1 2.3 2.4 2.5 2.6 2.7 2.8 2.8 2.8 2.8 2.9 2.9 3.0 3.0 " \
          "3.0 3.1 3.1 3.2 3.2 3.3 3.3 3.4 3.4 3.5 3.5 3.6 3.65 3.7 3.7 3.8 3.8 3.9 3.9 4.0 " \
          "4.0 4.1 4.1 4.2 4.2 4.3 4.3 4.3 4.4 4.4 4.5 4.5 4.5 4.6 4.6 4.6 4.6 4.7 4.7 4.7 " \
          "4.7 4.8 4.8 4.8 4.8 4.8 4.9 4.9 4.9 4.9 4.9 5.2 5.4 5.5 5.7", t, " ")
    for (i = 1; i <= 75; i++) sigma[i - 1] = t[i] + 0
    ln10 = log(10)
}
{
    if (!($1 in n)) { order[++events] = $1; n[$1] = 0 }
    a = $2 + 0; d = $3 + 0
    if (d < 1 || d >= 1000) next
    if (d > 600) { delta = 100; off = 64 } else if (d > 100) { delta = 10; off = 10 } else { delta = 5; off = 0 }
    i = int(d / delta); k = off + i
    sum[$1] += log(a) / ln10 + (d - i * delta) * (sigma[k + 1] - sigma[k]) / delta + sigma[k]
    n[$1]++
}
END {
    for (i = 1; i <= events; i++) {
        e = order[i]
        if (n[e]) printf "%s\t%.2f\t\t%d\n", e, sum[e] / n[e], n[e]
        else printf "%s\t\t\t0\n", e
    }
}
