# Prints results.csv (aggregate.awk) as the benchmark table, then the receive targets and whether they were met.
BEGIN { FS = "," }
function show(v, format) { return v == "" ? "-" : sprintf(format, v) }
NR == 1 {
    printf "%-21s %12s %8s %10s %9s %8s %9s %7s %6s %9s\n", "mode", "bytes/s", "MB/s", "ratio/cat", "stall ms",
           "RSS MB", "peak MB", "CPU %", "lost", "time s"
    next
}
{
    rate = $5 > 0 ? $5 : ""
    printf "%-21s %12s %8s %10s %9s %8s %9s %7s %6s %9s\n", $1, show(rate, "%.0f"), show(rate == "" ? "" : rate / 1e6, "%.3f"),
           show($6, "%.4f"), show($7, "%.1f"), show($8, "%.1f"), show($9, "%.1f"), show($10, "%.1f"), show($11, "%d"),
           show($4, "%.3f")
    rateOf[$1] = $5; stallOf[$1] = $7; lostOf[$1] = $11; cpuOf[$1] = $10; rssOf[$1] = $8
    if ($3 > 0 && $10 != "") cpuPerByte[$1] = $10 / 100 * $4 / $3
}
function verdict(ok) { return ok ? "met" : "MISSED" }
function target(mode, minRate, label) {
    if (!(mode in rateOf)) return
    printf "target %-15s >= %2d MB/s: %-6s  no byte lost: %-6s  stall <= 50 ms: %s\n", mode, minRate,
           verdict(rateOf[mode] >= minRate * 1e6), verdict(lostOf[mode] == 0), verdict(stallOf[mode] <= 50)
}
# A capture to a file may cost the display at most a tenth of its rate, and the file must hold every byte.
function logCost(mode,    logged, cost) {
    logged = mode "-log"
    if (!(mode in rateOf) || !(logged in rateOf) || rateOf[mode] <= 0) return
    cost = 100 * (1 - rateOf[logged] / rateOf[mode])
    printf "target %-15s logging costs <= 10 %%: %-6s (%.1f %%)  the file holds every byte: %s\n", logged,
           verdict(cost <= 10), cost, verdict(lostOf[logged] == 0)
}
# An option's price: how much of the plain display's rate it takes away; and, as other load on the machine
# moves rates more than it moves the work done, the CPU time it adds per byte.
function cost(mode, plain, maxPercent,    p, c) {
    if (!(mode in rateOf) || !(plain in rateOf) || rateOf[plain] <= 0) return
    p = 100 * (1 - rateOf[mode] / rateOf[plain])
    c = cpuPerByte[plain] > 0 ? sprintf(", CPU per byte %+.1f %%", 100 * (cpuPerByte[mode] / cpuPerByte[plain] - 1)) : ""
    printf "target %-18s costs <= %d %% of %s: %s (%.1f %%%s)\n", mode, maxPercent, plain, verdict(p <= maxPercent), p, c
}
END {
    print ""
    target("window-text", 10)
    target("window-gbk", 10)
    target("window-mixed", 10)
    target("window-log", 10)
    target("window-blanks", 10)
    target("window-hex", 4)
    target("window-stopped", 30)
    logCost("window-text")
    logCost("window-hex")
    cost("window-text-stamps", "window-text", 25)
    cost("window-hex-stamps", "window-hex", 25)
    for (i = 1; i <= 2; i++) {
        mode = i == 1 ? "rss-autoclear-on" : "rss-autoclear-off"
        if (mode in rssOf) printf "target %-17s RSS < 80 MB: %s (%.1f MB)\n", mode, verdict(rssOf[mode] < 80), rssOf[mode]
    }
    if ("idle" in cpuOf) printf "target idle CPU near zero (<= 1 %%): %s (%.2f %%)\n", verdict(cpuOf["idle"] <= 1), cpuOf["idle"]
}
