# Reads the per-run rows of quendal-bench (runs.csv) and prints one row per measurement: the median of each
# figure over its runs (lost bytes: the largest), and the rate as a ratio to the `cat` baseline of the same
# ./bench run. Columns are found by their header names.
BEGIN { FS = OFS = "," }
NR == 1 {
    for (i = 1; i <= NF; i++) col[$i] = i
    next
}
{
    if (!($1 in runs)) order[++names] = $1
    k = ++runs[$1]
    for (i = 2; i <= NF; i++) value[$1, i, k] = $i
}
function median(name, field,    c, i, j, t, a) {
    c = 0
    for (i = 1; i <= runs[name]; i++) if (value[name, col[field], i] != "") a[++c] = value[name, col[field], i] + 0
    if (c == 0) return ""
    for (i = 2; i <= c; i++) {
        t = a[i]
        for (j = i - 1; j >= 1 && a[j] > t; j--) a[j + 1] = a[j]
        a[j + 1] = t
    }
    return c % 2 ? a[(c + 1) / 2] : (a[c / 2] + a[c / 2 + 1]) / 2
}
function largest(name, field,    i, m, v) {
    m = ""
    for (i = 1; i <= runs[name]; i++) {
        v = value[name, col[field], i]
        if (v != "" && (m == "" || v + 0 > m + 0)) m = v + 0
    }
    return m
}
END {
    print "name,runs,bytes,seconds,bytes_per_s,ratio_cat,max_stall_ms,rss_mb,hwm_mb,cpu_pct,lost"
    catRate = median("cat", "bytes_per_s")
    for (r = 1; r <= names; r++) {
        name = order[r]
        rate = median(name, "bytes_per_s")
        ratio = catRate > 0 && rate > 0 ? sprintf("%.4f", rate / catRate) : ""
        print name, runs[name], median(name, "bytes"), median(name, "seconds"), rate, ratio,
              median(name, "max_stall_ms"), median(name, "rss_mb"), median(name, "hwm_mb"),
              median(name, "cpu_pct"), largest(name, "lost")
    }
}
