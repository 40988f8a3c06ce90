#include "cli/arguments.h"

#include <CLI/CLI.hpp>

#include "quendal_version.h"

namespace {

constexpr const char* kExitCodes =
    "Exit codes: 0 all done and verified (write --dry-run: every unit read; diagnose: diagnosed, whatever "
    "the\n"
    "verdict; signal --watch: ended by --count or Ctrl-C; monitor: ended by Ctrl-C or SIGTERM); 1 a device "
    "refused or failed verification, or\n"
    "took a save that could not be read back (saved-unverified); 2 bad usage, bad profile or an output file\n"
    "that cannot be written (nothing was sent); 3 port missing or held by another program; 4 a device did\n"
    "not answer in time; 130 interrupted (Ctrl-C or SIGTERM: exchanges in flight end, every port gets its\n"
    "report row; a second Ctrl-C ends at once). With several ports the largest code of any port.";

}  // namespace

ParsedArgs ParseArgs(std::vector<std::string> args) {
    CLI::App app{"Reads, writes and checks the parameters of DTUs on serial ports, many at once.",
                 "quendal-cli"};
    app.footer(kExitCodes);
    app.set_version_flag("--version", std::string("quendal-cli ") + QUENDAL_VERSION);
    app.require_subcommand(1);
    app.fallthrough();
    CliArgs a;
    app.add_option("--baud", a.baud, "line speed (9600)")->check(CLI::PositiveNumber);
    app.add_option("--parity", a.parity, "N, O or E, or NONE, ODD, EVEN (N)");
    app.add_option("--data-bits", a.dataBits, "5 to 8 (8)")->check(CLI::Range(5, 8));
    app.add_option("--stop-bits", a.stopBits, "1 or 2 (1)")->check(CLI::Range(1, 2));
    app.add_option("--timeout", a.timeoutMs,
                   "the device's answer time in ms, on top of the time the bytes take on the line (2000)")
        ->check(CLI::Range(1, 600000));
    app.add_option("--retries", a.retries, "how often a read is tried again (2); a save is never resent")
        ->check(CLI::Range(0, 10));
    app.add_flag("-v,--verbose", a.verbose, "say why a read is tried again (one progress line per step)");

    // A list works in either place, COM1,COM2 as an argument or after --port; but for write and verify the
    // last argument is the profile, whose file name may hold a comma, so the plan splits theirs.
    const auto withPorts = [&](CLI::App* sub, const char* positionalHelp, bool splitLists) {
        CLI::Option* positional = sub->add_option("args", a.positional, positionalHelp);
        if (splitLists) {
            positional->delimiter(',');
        }
        sub->add_option("-p,--port", a.ports, "a port: COMn or a device path; many times, or a list")
            ->delimiter(',');
        sub->add_option("--report", a.report, "append one CSV row per device to this file");
    };
    CLI::App* ports = app.add_subcommand("ports", "COM1-COM30: the device each names, present, held or free");
    CLI::App* read = app.add_subcommand("read", "read the record and print it as a profile");
    withPorts(read, "PORT ...", true);
    read->add_option("-o,--output", a.output,
                     "write the profile here, - for standard output (several ports: put {port} in the name)");
    read->add_flag("--raw", a.raw, "also print the 440 record bytes in hex");
    CLI::App* write =
        app.add_subcommand("write", "apply a profile on top of each device's record and verify");
    CLI::App* verify = app.add_subcommand("verify", "read each device and compare it with a profile");
    for (CLI::App* sub : {write, verify}) {
        withPorts(sub, "[PORT ...] PROFILE", false);
        sub->add_option("--set", a.sets, "FIELD=VALUE over the profile, for every port; many times");
        sub->add_option("--units", a.units, "CSV of per-unit values: a port column and one column per field");
    }
    write->add_flag("--same-id", a.sameId, "let several units get the same device_id");
    write->add_flag("--dry-run", a.dryRun,
                    "read each unit and print the fields the write would change; nothing is saved");
    CLI::App* defaults = app.add_subcommand("default", "restore the factory settings");
    CLI::App* reboot = app.add_subcommand("reboot", "restart the device");
    CLI::App* signal = app.add_subcommand("signal", "the signal strength: CSQ and dBm");
    CLI::App* diagnose = app.add_subcommand(
        "diagnose", "why a unit is not online and which unit it is, from its cellular module");
    for (CLI::App* sub : {defaults, reboot, signal, diagnose}) {
        withPorts(sub, "PORT ...", true);
    }
    signal->add_option("--watch", a.watchSeconds, "a survey: a sample every SECONDS until Ctrl-C or --count")
        ->check(CLI::Range(1, 86400));
    signal->add_option("--count", a.count, "with --watch: stop after N samples")
        ->check(CLI::Range(1, 1000000));
    signal->add_option("--log", a.log, "with --watch: append each sample to this CSV file");
    diagnose->add_flag("--json", a.json, "one JSON object per port, for scripts");
    CLI::App* monitor = app.add_subcommand(
        "monitor", "show or log what one port receives, until Ctrl-C (device text escaped, or hex)");
    withPorts(monitor, "PORT", true);
    monitor->add_option("--log", a.log,
                        "write the received bytes to this file instead (raw unless --timestamps "
                        "or --hex); 0600, never through a link");
    monitor->add_flag("--append", a.append, "with --log: add to the file instead of starting it empty");
    monitor->add_flag("--timestamps", a.timestamps, "start each line with its time, [date hh:mm:ss.mmm]");
    monitor->add_flag("--hex", a.hex, "hexadecimal, 16 bytes or one burst to a line");

    std::vector<char*> pointers;
    for (std::string& arg : args) {
        pointers.push_back(arg.data());
    }
    try {
        app.parse(static_cast<int>(pointers.size()), pointers.data());
    } catch (const CLI::ParseError& e) {
        const int code = app.exit(e);
        return {std::nullopt, code == 0 ? 0 : kExitUsage};
    }
    const std::pair<CLI::App*, Command> commands[] = {
        {ports, Command::Ports},   {read, Command::Read},         {write, Command::Write},
        {verify, Command::Verify}, {defaults, Command::Defaults}, {reboot, Command::Reboot},
        {signal, Command::Signal}, {diagnose, Command::Diagnose}, {monitor, Command::Monitor}};
    for (const auto& [sub, command] : commands) {
        if (sub->parsed()) {
            a.command = command;
        }
    }
    return {std::move(a), 0};
}
