// Checks libregbus and regpoke on the fake I2C bus. Runs on the build host; the programs under test
// run natively or, for a cross build, under a user-mode emulator (qemu-arm) with the target's
// loader, and the fake bus is preloaded into them. One case per invocation:
//
//   regbus_check --tool regpoke --probe regbus_probe --fakebus fakebus.so --lib libregbus.so
//                [--emulator qemu-arm --sysroot /usr/arm-linux-gnueabihf] [--readelf readelf] CASE
//   regbus_check --list
//   regbus_check --check-list CASE...   (fails unless these are exactly the known cases)
//
// Most cases are rows of one table: the program and its arguments, the fake bus set-up, and the
// expected exit status, standard output, standard error and transfer log. The log lines are those of
// fakebus.c ("<slave> <R|W> <command> <byte|word> <bytes on the wire>[ fail]").
#include "child_process.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include <climits>
#include <unistd.h>

extern char **environ;

namespace {

constexpr int kChildTimeoutSeconds = 60;
constexpr int kExitBadArguments = 2;

struct Target {
    std::string tool;
    std::string probe;
    std::string fakebus;
    std::string lib;
    std::string emulator;
    std::string sysroot;
    std::string readelf;
};

enum class Program { Tool, Probe };

struct BusSetup {
    std::string regs;   // FAKEBUS_REGS
    std::string failAt; // FAKEBUS_FAIL_AT
    bool refuseOpen = false;
};

struct Run {
    ChildResult child;
    std::vector<std::string> log;
};

// --- reporting --------------------------------------------------------------------------------

std::string quoted(const std::string &text)
{
    std::string out = "\"";
    for (unsigned char c : text) {
        if (c == '\n') {
            out += "\\n";
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            snprintf(buf, sizeof buf, "\\x%02x", c);
            out += buf;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

std::string joined(const std::vector<std::string> &lines)
{
    std::string out;
    for (const auto &line : lines) {
        out += "    " + line + "\n";
    }
    return out.empty() ? "    (nothing)\n" : out;
}

class Checker
{
public:
    bool ok() const { return failures_ == 0; }

    void expect(bool condition, const std::string &what)
    {
        if (!condition) {
            ++failures_;
            fprintf(stderr, "FAILED: %s\n", what.c_str());
        }
    }
    void expectText(const std::string &what, const std::string &expected, const std::string &actual)
    {
        if (expected != actual) {
            ++failures_;
            fprintf(stderr, "FAILED: %s\n  expected %s\n  actual   %s\n", what.c_str(),
                    quoted(expected).c_str(), quoted(actual).c_str());
        }
    }
    void expectLines(const std::string &what, const std::vector<std::string> &expected,
                     const std::vector<std::string> &actual)
    {
        if (expected != actual) {
            ++failures_;
            fprintf(stderr, "FAILED: %s\n  expected:\n%s  actual:\n%s", what.c_str(),
                    joined(expected).c_str(), joined(actual).c_str());
        }
    }

private:
    int failures_ = 0;
};

// --- running the programs under test ------------------------------------------------------------

std::vector<std::string> readLines(const std::string &path)
{
    std::vector<std::string> lines;
    std::ifstream in(path);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool startsWith(const std::string &s, const char *prefix)
{
    return s.rfind(prefix, 0) == 0;
}

// A scratch folder per run for the transfer log; kept when the case fails, for a look afterwards.
class Scratch
{
public:
    explicit Scratch(const std::string &name)
    {
        char cwd[PATH_MAX];
        std::string pattern = std::string(getcwd(cwd, sizeof cwd) ? cwd : ".") + "/" + name + ".XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) == nullptr) {
            perror("mkdtemp");
            exit(1);
        }
        dir_ = buffer.data();
    }
    std::string path(const std::string &file) const { return dir_ + "/" + file; }
    void keep() { keep_ = true; }
    ~Scratch()
    {
        if (keep_) {
            fprintf(stderr, "files of this case are kept in %s\n", dir_.c_str());
            return;
        }
        unlink(path("bus.log").c_str());
        rmdir(dir_.c_str());
    }

private:
    std::string dir_;
    bool keep_ = false;
};

Run runOnBus(const Target &target, Program program, const std::vector<std::string> &args, const BusSetup &bus,
             Scratch &scratch)
{
    const std::string logPath = scratch.path("bus.log");
    unlink(logPath.c_str());

    std::vector<std::string> env;
    for (char **e = environ; *e != nullptr; ++e) {
        std::string var = *e;
        if (!startsWith(var, "LD_PRELOAD=") && !startsWith(var, "FAKEBUS_")) {
            env.push_back(var);
        }
    }
    env.push_back("FAKEBUS_LOG=" + logPath);
    if (!bus.regs.empty()) {
        env.push_back("FAKEBUS_REGS=" + bus.regs);
    }
    if (!bus.failAt.empty()) {
        env.push_back("FAKEBUS_FAIL_AT=" + bus.failAt);
    }
    if (bus.refuseOpen) {
        env.push_back("FAKEBUS_REFUSE_OPEN=1");
    }

    const std::string &exe = program == Program::Tool ? target.tool : target.probe;
    std::vector<std::string> argv;
    if (target.emulator.empty()) {
        env.push_back("LD_PRELOAD=" + target.fakebus);
        // In sanitizer builds the fake bus is instrumented too, so it comes before the sanitizer
        // runtime in the preload order, which AddressSanitizer refuses unless told otherwise.
        bool hasAsanOptions = false;
        for (auto &var : env) {
            if (startsWith(var, "ASAN_OPTIONS=")) {
                var += ":verify_asan_link_order=0";
                hasAsanOptions = true;
            }
        }
        if (!hasAsanOptions) {
            env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
        }
    } else {
        // The preload is for the emulated program only, not for the emulator itself.
        argv = {target.emulator, "-L", target.sysroot, "-E", "LD_PRELOAD=" + target.fakebus};
    }
    argv.push_back(exe);
    argv.insert(argv.end(), args.begin(), args.end());

    Run run;
    run.child = runChild(argv, env, kChildTimeoutSeconds);
    run.log = readLines(logPath);
    return run;
}

bool checkStarted(Checker &check, const Run &run)
{
    check.expect(run.child.started, "the program could not be started");
    check.expect(!run.child.timedOut, "the program did not finish in time");
    return run.child.started && !run.child.timedOut;
}

// --- the table ----------------------------------------------------------------------------------

struct BusCase {
    std::string name;
    Program program;
    std::vector<std::string> args;
    BusSetup bus;
    int exitCode = 0;
    std::string out;
    std::string err;
    std::vector<std::string> log;
};

// Small builder so that each row reads as set-up followed by expectations.
struct Row {
    BusCase c;
    Row(std::string name, Program program, std::vector<std::string> args)
    {
        c.name = std::move(name);
        c.program = program;
        c.args = std::move(args);
    }
    Row &&regs(std::string r) &&
    {
        c.bus.regs = std::move(r);
        return std::move(*this);
    }
    Row &&failAt(std::string n) &&
    {
        c.bus.failAt = std::move(n);
        return std::move(*this);
    }
    Row &&refuseOpen() &&
    {
        c.bus.refuseOpen = true;
        return std::move(*this);
    }
    Row &&exit(int code) &&
    {
        c.exitCode = code;
        return std::move(*this);
    }
    Row &&out(std::string s) &&
    {
        c.out = std::move(s);
        return std::move(*this);
    }
    Row &&err(std::string s) &&
    {
        c.err = std::move(s);
        return std::move(*this);
    }
    Row &&log(std::vector<std::string> l) &&
    {
        c.log = std::move(l);
        return std::move(*this);
    }
};

Row tool(std::string name, std::vector<std::string> args)
{
    return Row(std::move(name), Program::Tool, std::move(args));
}
Row probe(std::string name, std::vector<std::string> steps)
{
    return Row(std::move(name), Program::Probe, std::move(steps));
}

const std::string &usageText()
{
    static const std::string rule(78, '-');
    static const std::string text =
        "Usage : regpoke slave_addr r[|w] reg [value(if write cmd)]"
        "\n" +
        rule +
        "\nslave_addr : slave address to be controlled"
        "\nr[|w] : read or write mode"
        "\nreg : register address(or called 'command')"
        "\n[value(if write cmd)] : data to be written(when read mode, it'll be ignored)"
        "\n" +
        rule +
        "\nExample (read): regpoke 0x56 r 0x15"
        "\nExample (write): regpoke 0x56 w 0x15 0x88"
        "\n" +
        rule + "\n\n";
    return text;
}

const char *const kNotOpen = "I2C Client was not openned!\n";
const char *const kRegs56 = "56:15=88";
const char *const kRegs38 = "38:02=21 38:03=c3 38:04=44 38:05=55 38:06=66 38:07=77";
const char *const kRegs5D = "5d:0123=abcd 5d:0023=0bad";

std::vector<BusCase> busCases()
{
    const std::string readError = "I2C READ Error!!!\n[I2C Read] val = [0x0]\n";
    std::vector<Row> rows;

    // regpoke: the command line, the output lines and what reaches the bus.
    rows.push_back(tool("usage_no_arguments", {}).out(usageText()));
    rows.push_back(tool("usage_two_arguments", {"0x56", "r"}).out(usageText()));
    rows.push_back(tool("read_byte", {"0x56", "r", "0x15"})
                       .regs(kRegs56)
                       .out("[I2C Read] val = [0x88]\n")
                       .log({"open rw", "56 R 15 byte 88", "close"}));
    rows.push_back(tool("read_ignores_value_argument", {"56", "R", "15", "zz"})
                       .regs(kRegs56)
                       .out("[I2C Read] val = [0x88]\n")
                       .log({"open rw", "56 R 15 byte 88", "close"}));
    rows.push_back(tool("read_paged", {"5d", "r", "0x0123"})
                       .regs(kRegs5D)
                       .out("[I2C Read] val = [0xabcd]\n")
                       .log({"open rw", "5d W f0 word 00 01", "5d R 23 word ab cd", "close"}));
    rows.push_back(tool("write_paged", {"5d", "W", "0x0123", "0x88"})
                       .log({"open rw", "5d W f0 word 00 01", "5d W 23 word 00 88", "close"}));
    rows.push_back(tool("write_byte_sends_low_byte", {"0x56", "w", "0x15", "0x1288"})
                       .log({"open rw", "56 W 15 byte 88", "close"}));
    rows.push_back(tool("wide_arguments_cut_to_their_field", {"0x156", "r", "0x10015"})
                       .regs(kRegs56)
                       .out("[I2C Read] val = [0x88]\n")
                       .log({"open rw", "56 R 15 byte 88", "close"}));
    rows.push_back(tool("other_mode_does_nothing", {"0x56", "x", "0x15"}).log({"open rw", "close"}));
    rows.push_back(tool("read_error", {"0x56", "r", "0x15"})
                       .failAt("1")
                       .out(readError)
                       .log({"open rw", "56 R 15 byte fail", "close"}));
    rows.push_back(tool("read_error_after_page_select", {"5d", "r", "0x0123"})
                       .regs(kRegs5D)
                       .failAt("2")
                       .out(readError)
                       .log({"open rw", "5d W f0 word 00 01", "5d R 23 word fail", "close"}));
    rows.push_back(tool("write_error", {"0x56", "w", "0x15", "0x88"})
                       .failAt("1")
                       .out("I2C WRITE Error!!!\n")
                       .log({"open rw", "56 W 15 byte 88 fail", "close"}));
    rows.push_back(tool("absent_device", {"0x57", "r", "0x15"})
                       .out(readError)
                       .log({"open rw", "57 R 15 byte fail", "close"}));
    // The kernel refuses addresses beyond 7 bits before any transfer.
    rows.push_back(
        tool("address_beyond_7_bits", {"0x80", "r", "0x15"}).out(readError).log({"open rw", "close"}));
    rows.push_back(
        tool("bus_missing", {"0x56", "r", "0x15"}).refuseOpen().err(kNotOpen).log({"open refused"}));
    // Bad command lines: reported, nothing sent, not even an open.
    rows.push_back(tool("write_without_value", {"0x56", "w", "0x15"})
                       .exit(kExitBadArguments)
                       .err("Error: missing value to write: regpoke slave_addr w reg value\n"));
    rows.push_back(tool("slave_not_hex", {"zz", "r", "0x15"})
                       .exit(kExitBadArguments)
                       .err("Error: slave_addr 'zz' is not a hexadecimal number\n"));
    rows.push_back(tool("reg_with_trailing_garbage", {"0x56", "r", "0x1g"})
                       .exit(kExitBadArguments)
                       .err("Error: reg '0x1g' is not a hexadecimal number\n"));
    rows.push_back(tool("value_with_trailing_garbage", {"0x56", "w", "0x15", "12q"})
                       .exit(kExitBadArguments)
                       .err("Error: value '12q' is not a hexadecimal number\n"));
    rows.push_back(tool("every_bad_argument_reported", {"-1", "W", "", "0x"})
                       .exit(kExitBadArguments)
                       .err("Error: slave_addr '-1' is not a hexadecimal number\n"
                            "Error: reg '' is not a hexadecimal number\n"
                            "Error: value '0x' is not a hexadecimal number\n"));
    rows.push_back(tool("value_too_large", {"0x56", "w", "0x15", "0x123456789"})
                       .exit(kExitBadArguments)
                       .err("Error: value '0x123456789' is too large\n"));

    // libregbus through the probe: conventions, open count, page cache and failures.
    rows.push_back(probe("paged_first_and_second_write",
                         {"open", "write:5d:0123:1234", "write:5d:0145:abcd", "read:5d:0123", "close"})
                       .out("open 0\nwrite 0\nwrite 0\nread 0 0x1234\nclose 0\n")
                       .log({"open rw", "5d W f0 word 00 01", "5d W 23 word 12 34", "5d W 45 word ab cd",
                             "5d R 23 word 12 34", "close"}));
    rows.push_back(
        probe("page_beyond_2", {"open", "read:5d:0300", "write:5d:0300:1", "read:5d:ff00", "close"})
            .out("open 0\nread -1 0xa5a5\nwrite -1\nread -1 0xa5a5\nclose 0\n")
            .log({"open rw", "close"}));
    rows.push_back(probe("device_38_word_and_byte_reads",
                         {"open", "read:38:0002", "read:38:0004", "read:38:0006", "read:38:0003",
                          "read:38:0102", "write:38:0004:1277", "close"})
                       .regs(kRegs38)
                       .out("open 0\nread 0 0xc321\nread 0 0x5544\nread 0 0x7766\nread 0 0xc3\n"
                            "read 0 0x21\nwrite 0\nclose 0\n")
                       .log({"open rw", "38 R 02 word 21 c3", "38 R 04 word 44 55", "38 R 06 word 66 77",
                             "38 R 03 byte c3", "38 R 02 byte 21", "38 W 04 byte 77", "close"}));
    rows.push_back(probe("byte_read_clears_high_byte", {"open", "read:56:0015", "read:56:0115", "close"})
                       .regs(kRegs56)
                       .out("open 0\nread 0 0x88\nread 0 0x88\nclose 0\n")
                       .log({"open rw", "56 R 15 byte 88", "56 R 15 byte 88", "close"}));
    rows.push_back(
        probe("devices_alternate", {"open", "write:5d:0123:1234", "read:56:0015", "read:5d:0123", "close"})
            .regs(kRegs56)
            .out("open 0\nwrite 0\nread 0 0x88\nread 0 0x1234\nclose 0\n")
            .log({"open rw", "5d W f0 word 00 01", "5d W 23 word 12 34", "56 R 15 byte 88",
                  "5d R 23 word 12 34", "close"}));
    rows.push_back(
        probe("two_opens_then_closes", {"open", "open", "close", "read:56:0015", "close", "read:56:0015"})
            .regs(kRegs56)
            .out("open 0\nopen 0\nclose 0\nread 0 0x88\nclose 0\nread -1 0xa5a5\n")
            .err(kNotOpen)
            .log({"open rw", "56 R 15 byte 88", "close"}));
    rows.push_back(probe("commands_before_open", {"read:56:0015", "write:56:0015:1", "close", "cmd:7"})
                       .out("read -1 0xa5a5\nwrite -1\nclose -1\ncmd -1\n")
                       .err(std::string(kNotOpen) + kNotOpen + kNotOpen + kNotOpen));
    // An unknown command must release the lock, or the read after it would hang.
    rows.push_back(
        probe("unknown_command_releases_lock", {"open", "cmd:7", "cmd:-1", "read:56:0015", "close"})
            .regs(kRegs56)
            .out("open 0\ncmd -1\ncmd -1\nread 0 0x88\nclose 0\n")
            .log({"open rw", "56 R 15 byte 88", "close"}));
    rows.push_back(probe("failed_page_select_retried", {"open", "read:5d:0123", "read:5d:0123", "close"})
                       .regs(kRegs5D)
                       .failAt("1")
                       .out("open 0\nread -1 0xa5a5\nread 0 0xabcd\nclose 0\n")
                       .log({"open rw", "5d W f0 word 00 01 fail", "5d W f0 word 00 01", "5d R 23 word ab cd",
                             "close"}));
    rows.push_back(
        probe("failed_transfer_keeps_page", {"open", "read:5d:0123", "read:5d:0124", "close"})
            .regs(kRegs5D)
            .failAt("2")
            .out("open 0\nread -1 0xa5a5\nread 0 0x0\nclose 0\n")
            .log({"open rw", "5d W f0 word 00 01", "5d R 23 word fail", "5d R 24 word 00 00", "close"}));
    rows.push_back(probe("page_cache_survives_reopen", {"open", "write:5d:0123:1234", "close", "open",
                                                        "read:5d:0123", "read:5d:0023", "close"})
                       .regs(kRegs5D)
                       .out("open 0\nwrite 0\nclose 0\nopen 0\nread 0 0x1234\nread 0 0xbad\nclose 0\n")
                       .log({"open rw", "5d W f0 word 00 01", "5d W 23 word 12 34", "close", "open rw",
                             "5d R 23 word 12 34", "5d W f0 word 00 00", "5d R 23 word 0b ad", "close"}));
    // After the last close, a direct register call must not reach whatever file now has the bus's
    // old descriptor number (the fake bus logs I2C requests on other open files).
    rows.push_back(probe("closed_bus_descriptor_not_reused", {"open", "close", "hold-fd", "rawread:56:0015"})
                       .out("open 0\nclose 0\nhold-fd ok\nrawread -1 0xa5\n")
                       .log({"open rw", "close"}));
    rows.push_back(probe("null_value_pointer", {"open", "readnull:56:0015", "writenull:56:0015", "close"})
                       .out("open 0\nreadnull -1\nwritenull -1\nclose 0\n")
                       .log({"open rw", "close"}));
    rows.push_back(probe("bus_missing_in_library", {"open", "read:56:0015", "close"})
                       .refuseOpen()
                       .out("open -1\nread -1 0xa5a5\nclose -1\n")
                       .err(std::string(kNotOpen) + kNotOpen)
                       .log({"open refused"}));

    std::vector<BusCase> cases;
    for (auto &row : rows) {
        cases.push_back(std::move(row.c));
    }
    return cases;
}

bool runBusCase(const Target &target, const BusCase &c)
{
    Checker check;
    Scratch scratch(c.name);
    Run run = runOnBus(target, c.program, c.args, c.bus, scratch);
    if (checkStarted(check, run)) {
        check.expect(run.child.exitCode == c.exitCode, "exit status " + std::to_string(run.child.exitCode) +
                                                           ", expected " + std::to_string(c.exitCode));
        check.expectText("standard output", c.out, run.child.out);
        check.expectText("standard error", c.err, run.child.err);
        check.expectLines("bus log", c.log, run.log);
    }
    if (!check.ok()) {
        scratch.keep();
    }
    return check.ok();
}

// --- cases that need more than a table row ------------------------------------------------------

// Several threads share the bus through i2c_ioctl. Replays the log: every data transfer to 0x5D
// must happen while the page its value names is selected, i.e. no other thread's page select came
// between a select and its word transfer.
bool runThreads(const Target &target)
{
    constexpr int kThreads = 4;
    constexpr int kRounds = 150;
    Checker check;
    Scratch scratch("threads");
    Run run =
        runOnBus(target, Program::Probe,
                 {"open", "threads:" + std::to_string(kThreads) + ":" + std::to_string(kRounds), "close"}, {},
                 scratch);
    if (checkStarted(check, run)) {
        check.expect(run.child.exitCode == 0, "probe exit status " + std::to_string(run.child.exitCode));
        check.expectText("probe output (mismatches read back)", "open 0\nthreads 0\nclose 0\n",
                         run.child.out);
        check.expectText("standard error", "", run.child.err);

        int page = -1;
        int selects = 0;
        int dataTransfers = 0;
        int misplaced = 0;
        for (const auto &line : run.log) {
            unsigned slave = 0;
            unsigned cmd = 0;
            unsigned hi = 0;
            unsigned lo = 0;
            char dir = 0;
            char size[8] = {};
            if (sscanf(line.c_str(), "%x %c %x %7s %x %x", &slave, &dir, &cmd, size, &hi, &lo) != 6 ||
                slave != 0x5D) {
                continue;
            }
            if (line.find(" fail") != std::string::npos) {
                ++misplaced; // nothing may fail on this bus
                continue;
            }
            if (cmd == 0xF0 && dir == 'W') {
                page = static_cast<int>((hi << 8) | lo);
                ++selects;
                continue;
            }
            ++dataTransfers;
            const unsigned value = (hi << 8) | lo;
            const int valuePage = static_cast<int>((value >> 8) & 0xF);
            const unsigned owner = value >> 12;
            if (valuePage != page || cmd != 0x10 + owner) {
                if (misplaced < 5) {
                    fprintf(stderr, "transfer '%s' while page %d is selected\n", line.c_str(), page);
                }
                ++misplaced;
            }
        }
        check.expect(misplaced == 0, std::to_string(misplaced) + " transfers in the wrong page");
        check.expect(dataTransfers == kThreads * kRounds * 2 * 2,
                     "data transfers logged: " + std::to_string(dataTransfers));
        // The threads must really have competed for pages, or the test proves nothing.
        check.expect(selects > kRounds, "only " + std::to_string(selects) + " page selects");
    }
    if (!check.ok()) {
        scratch.keep();
    }
    return check.ok();
}

// The library exports exactly the three register functions and leaves the lock functions to its
// host; the tool exports the lock functions.
bool runExports(const Target &target)
{
    Checker check;
    check.expect(!target.readelf.empty(), "no readelf given");
    if (target.readelf.empty()) {
        return false;
    }
    auto symbols = [&](const std::string &file, std::set<std::string> *defined,
                       std::set<std::string> *undefined) {
        ChildResult r =
            runChild({target.readelf, "--dyn-syms", "--wide", file}, {"LC_ALL=C"}, kChildTimeoutSeconds);
        check.expect(r.exitCode == 0, "readelf " + file + ": " + r.err);
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) {
            std::istringstream fields(line);
            std::string num, value, size, type, bind, vis, ndx, name;
            if (!(fields >> num >> value >> size >> type >> bind >> vis >> ndx >> name) ||
                num.back() != ':') {
                continue;
            }
            name = name.substr(0, name.find('@'));
            if (ndx == "UND") {
                undefined->insert(name);
            } else if ((bind == "GLOBAL" || bind == "WEAK") && (type == "FUNC" || type == "OBJECT")) {
                defined->insert(name);
            }
        }
    };
    const std::set<std::string> registerFunctions = {"i2c_ioctl", "i2c_read_reg", "i2c_write_reg"};
    const std::set<std::string> lockFunctions = {"MakeSem", "SemWait", "SemRelease", "DestroySem"};

    std::set<std::string> libDefined, libUndefined, toolDefined, toolUndefined;
    symbols(target.lib, &libDefined, &libUndefined);
    symbols(target.tool, &toolDefined, &toolUndefined);
    std::vector<std::string> libDefinedList(libDefined.begin(), libDefined.end());
    check.expectLines("functions exported by the library",
                      std::vector<std::string>(registerFunctions.begin(), registerFunctions.end()),
                      libDefinedList);
    for (const auto &name : lockFunctions) {
        check.expect(libUndefined.count(name) == 1, name + " is not left undefined in the library");
        check.expect(toolDefined.count(name) == 1, name + " is not exported by the tool");
    }
    return check.ok();
}

std::map<std::string, std::function<bool(const Target &)>> allCases()
{
    std::map<std::string, std::function<bool(const Target &)>> cases;
    for (const auto &c : busCases()) {
        cases[c.name] = [c](const Target &t) { return runBusCase(t, c); };
    }
    cases["threads_never_split_page_select"] = runThreads;
    cases["exports"] = runExports;
    return cases;
}

int usage()
{
    fputs("usage: regbus_check --tool P --probe P --fakebus P --lib P [--emulator P --sysroot D]\n"
          "                    [--readelf P] CASE\n"
          "       regbus_check --list\n"
          "       regbus_check --check-list CASE...\n",
          stderr);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    Target target;
    std::string caseName;
    const std::map<std::string, std::string Target::*> options = {
        {"--tool", &Target::tool},      {"--probe", &Target::probe},       {"--fakebus", &Target::fakebus},
        {"--lib", &Target::lib},        {"--emulator", &Target::emulator}, {"--sysroot", &Target::sysroot},
        {"--readelf", &Target::readelf}};
    const auto cases = allCases();
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--list") {
            for (const auto &c : cases) {
                printf("%s\n", c.first.c_str());
            }
            return 0;
        }
        if (arg == "--check-list") {
            // The build registers one test per case from its own list; this keeps the two in step.
            std::set<std::string> registered(argv + i + 1, argv + argc);
            bool same = registered.size() == cases.size();
            for (const auto &c : cases) {
                if (registered.count(c.first) == 0) {
                    fprintf(stderr, "case '%s' is not registered as a test\n", c.first.c_str());
                    same = false;
                }
            }
            for (const auto &name : registered) {
                if (cases.count(name) == 0) {
                    fprintf(stderr, "registered test '%s' has no case\n", name.c_str());
                    same = false;
                }
            }
            return same ? 0 : 1;
        }
        auto option = options.find(arg);
        if (option != options.end() && i + 1 < argc) {
            target.*(option->second) = argv[++i];
        } else if (arg[0] != '-' && caseName.empty()) {
            caseName = arg;
        } else {
            return usage();
        }
    }
    if (caseName.empty() || target.tool.empty() || target.probe.empty() || target.fakebus.empty() ||
        target.lib.empty() || (!target.emulator.empty() && target.sysroot.empty())) {
        return usage();
    }
    auto found = cases.find(caseName);
    if (found == cases.end()) {
        fprintf(stderr, "regbus_check: no case '%s' (see --list)\n", caseName.c_str());
        return 2;
    }
    return found->second(target) ? 0 : 1;
}
