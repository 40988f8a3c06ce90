// quendal-bench: one measurement per run, printed as one CSV row (`quendal-bench header` prints the header).
//   quendal-bench cat        [--bytes N]                       cat draining a pty: the baseline
//   quendal-bench engine     [--bytes N]                       the serial engine alone, no widgets
//   quendal-bench throughput [--mode text|hex|stopped] [--lines text|gbk|mixed|log|blanks] [--bytes N]
//                            [--auto-clear on|off] [--log raw|text] [--timestamps on|off] [--name NAME]
//   quendal-bench rss        [--auto-clear on|off] [--bytes N] text mode, 100 MB by default
//   quendal-bench idle       [--seconds S]                     CPU with the port open and nothing arriving
//   quendal-bench startup                                      process start to the window's first paint
//   quendal-bench diagnosis  --sim PATH [--runs R]             the window's network diagnosis, 9600 baud
//   quendal-bench survey     [--seconds S] [--lte] [--png F]   an hour's signal survey, simulated clock
//   quendal-bench chart results.csv out.png
#include <cstdio>
#include <cstdlib>
#include <string>

#include "bench/benches.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr,
                     "usage: quendal-bench "
                     "header|cat|engine|throughput|rss|idle|startup|diagnosis|survey|chart ...\n");
        return 2;
    }
    const std::string command = argv[1];
    const BenchArgs args(argc, argv, 2);
    if (command == "header") {
        std::printf("%s\n", kRowHeader);
        return 0;
    }
    if (command != "cat" && command != "engine") {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    if (command == "cat") {
        return RunCat(args);
    }
    if (command == "engine") {
        return RunEngine(args);
    }
    if (command == "throughput" || command == "rss") {
        const bool rss = command == "rss";
        WindowRunOptions options;
        options.mode = rss ? "text" : args.Text("mode", "text");
        options.autoClear = args.Flag("auto-clear", true);
        options.timestamps = args.Flag("timestamps", false);
        options.bytes = args.Number("bytes", rss ? 100'000'000ull : 8ull * 1024 * 1024);
        options.log = rss ? std::string() : args.Text("log", "");
        options.lines = rss ? "text" : args.Text("lines", "text");
        options.name = rss ? (options.autoClear ? "rss-autoclear-on" : "rss-autoclear-off")
                           : "window-" + (options.lines == "text" ? options.mode : options.lines) +
                                 (options.log.empty() ? "" : "-log");
        options.name = args.Text("name", options.name);
        return RunWindow(argc, argv, options);
    }
    if (command == "idle") {
        return RunIdle(argc, argv, args);
    }
    if (command == "startup") {
        return RunStartup(args);
    }
    if (command == "startup-child") {
        return RunStartupChild(argc, argv);
    }
    if (command == "diagnosis" || command == "survey") {
        return RunModemBench(argc, argv, command, args);
    }
    if (command == "chart") {
        return RunChart(argc, argv, args);
    }
    std::fprintf(stderr, "unknown subcommand %s\n", command.c_str());
    return 2;
}
