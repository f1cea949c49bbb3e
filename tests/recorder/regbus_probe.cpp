// Test host of libregbus: runs the library calls named on its command line, one output line each,
// so that the checker can drive the real library (natively or under qemu) and compare what it
// returned with what the fake bus saw. It links the same lock functions as regpoke.
//
//   open | close | cmd:N            i2c_ioctl with that command   -> "open 0", "cmd -1"
//   read:SS:RRRR                    i2c_ioctl read                -> "read <rc> 0x<value>"
//   write:SS:RRRR:VVVV              i2c_ioctl write               -> "write <rc>"
//   readnull:SS:RRRR, writenull:SS:RRRR   read/write with a null value pointer -> "<step> <rc>"
//   rawread:SS:RRRR                 i2c_read_reg without the lock -> "rawread <rc> 0x<value>"
//   hold-fd                         opens /dev/null and keeps it (takes a freed descriptor number)
//   threads:T:N                     T threads, N rounds each, see run_threads -> "threads <errors>"
//
// Read buffers start as 0xa5a5 so that bits a read does not set show up.
#include "regbus.h"

#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr uint16_t kFill = 0xA5A5;
constexpr uint8_t kPagedSlave = 0x5D;
constexpr int kPages = 3;
constexpr uint16_t kThreadRegisterBase = 0x10;

std::vector<std::string> split(const std::string &text, char sep)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t end = text.find(sep, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) {
            return parts;
        }
        start = end + 1;
    }
}

unsigned long hex(const std::string &text)
{
    return std::strtoul(text.c_str(), nullptr, 16);
}

// Each thread owns register 0x10+t in every page and writes values that name the thread, the page
// and the round: 0xTPNN. It alternates between two pages, so nearly every access needs a page
// select; if another thread's select could slip between a select and its word transfer, a value
// would land in (or be read from) the wrong page. Returns the number of mismatches seen.
int run_threads(int thread_count, int rounds)
{
    std::vector<int> errors(static_cast<size_t>(thread_count), 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < thread_count; ++t) {
        threads.emplace_back([t, rounds, &errors] {
            for (int round = 0; round < rounds; ++round) {
                for (int k = 0; k < 2; ++k) {
                    const int page = (t + round + k) % kPages;
                    const uint16_t reg = static_cast<uint16_t>((page << 8) | (kThreadRegisterBase + t));
                    uint16_t value = static_cast<uint16_t>((t << 12) | (page << 8) | (round & 0xFF));
                    if (i2c_ioctl(REGBUS_WRITE, kPagedSlave, reg, &value) != 0) {
                        ++errors[static_cast<size_t>(t)];
                    }
                    uint16_t back = kFill;
                    if (i2c_ioctl(REGBUS_READ, kPagedSlave, reg, &back) != 0 || back != value) {
                        ++errors[static_cast<size_t>(t)];
                    }
                }
            }
        });
    }
    for (auto &thread : threads) {
        thread.join();
    }
    int total = 0;
    for (int e : errors) {
        total += e;
    }
    return total;
}

bool run_step(const std::string &step)
{
    const std::vector<std::string> f = split(step, ':');
    const std::string &op = f[0];
    auto slave = [&] { return static_cast<uint8_t>(hex(f.at(1))); };
    auto reg = [&] { return static_cast<uint16_t>(hex(f.at(2))); };

    if (op == "open" || op == "close") {
        printf("%s %d\n", op.c_str(), i2c_ioctl(op == "open" ? REGBUS_OPEN : REGBUS_CLOSE, 0, 0, nullptr));
    } else if (op == "cmd" && f.size() == 2) {
        uint16_t value = 0;
        printf("cmd %d\n", i2c_ioctl(std::atoi(f[1].c_str()), 0, 0, &value));
    } else if (op == "read" && f.size() == 3) {
        uint16_t value = kFill;
        int rc = i2c_ioctl(REGBUS_READ, slave(), reg(), &value);
        printf("read %d 0x%x\n", rc, value);
    } else if (op == "write" && f.size() == 4) {
        uint16_t value = static_cast<uint16_t>(hex(f[3]));
        printf("write %d\n", i2c_ioctl(REGBUS_WRITE, slave(), reg(), &value));
    } else if ((op == "readnull" || op == "writenull") && f.size() == 3) {
        int cmd = op == "readnull" ? REGBUS_READ : REGBUS_WRITE;
        printf("%s %d\n", op.c_str(), i2c_ioctl(cmd, slave(), reg(), nullptr));
    } else if (op == "rawread" && f.size() == 3) {
        uint16_t value = kFill;
        int rc = i2c_read_reg(slave(), reg(), &value);
        printf("rawread %d 0x%x\n", rc, value);
    } else if (op == "hold-fd") {
        printf("hold-fd %s\n", open("/dev/null", O_RDONLY) >= 0 ? "ok" : "failed");
    } else if (op == "threads" && f.size() == 3) {
        printf("threads %d\n", run_threads(std::atoi(f[1].c_str()), std::atoi(f[2].c_str())));
    } else {
        fprintf(stderr, "regbus_probe: unknown step '%s'\n", step.c_str());
        return false;
    }
    fflush(stdout);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    for (int i = 1; i < argc; ++i) {
        if (!run_step(argv[i])) {
            return 64;
        }
    }
    return 0;
}
