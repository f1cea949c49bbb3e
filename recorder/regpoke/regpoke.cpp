// regpoke: reads or writes one register of one device on the recorder's I2C bus through libregbus.
//
// Exit status: 0 once the bus has been tried (also when opening it or the transfer failed; the
// messages say so) and when the usage text is shown; 2 when an argument is missing or is not a
// hexadecimal number, in which case nothing is sent on the bus.
#include "regbus.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kExitDone = 0;
constexpr int kExitBadArguments = 2;

void print_usage()
{
    static const char kRule[] =
        "------------------------------------------------------------------------------";
    static_assert(sizeof(kRule) - 1 == 78, "the usage rules are 78 dashes wide");
    printf("Usage : regpoke slave_addr r[|w] reg [value(if write cmd)]");
    printf("\n%s", kRule);
    printf("\nslave_addr : slave address to be controlled");
    printf("\nr[|w] : read or write mode");
    printf("\nreg : register address(or called 'command')");
    printf("\n[value(if write cmd)] : data to be written(when read mode, it'll be ignored)");
    printf("\n%s", kRule);
    printf("\nExample (read): regpoke 0x56 r 0x15");
    printf("\nExample (write): regpoke 0x56 w 0x15 0x88");
    printf("\n%s\n", kRule);
    printf("\n");
}

enum class Mode { Read, Write, None };

struct PokeArgs {
    uint8_t slave = 0;
    Mode mode = Mode::None;
    uint16_t reg = 0;
    uint16_t value = 0;
};

bool is_hex_digit(char c)
{
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// A hexadecimal number with or without a 0x prefix, as the recorder's scripts write them. Unlike a
// bare "%x", trailing garbage, signs and empty text are refused, so that a typing error never turns
// into a register address or value.
bool parse_hex(const char *name, const char *text, unsigned long *out)
{
    const char *digits = text;
    if (digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X')) {
        digits += 2;
    }
    bool ok = digits[0] != '\0';
    for (const char *p = digits; ok && *p != '\0'; ++p) {
        ok = is_hex_digit(*p);
    }
    if (!ok) {
        fprintf(stderr, "Error: %s '%s' is not a hexadecimal number\n", name, text);
        return false;
    }
    errno = 0;
    unsigned long long number = strtoull(digits, nullptr, 16);
    if (errno == ERANGE || number > 0xFFFFFFFFull) {
        fprintf(stderr, "Error: %s '%s' is too large\n", name, text);
        return false;
    }
    *out = static_cast<unsigned long>(number);
    return true;
}

Mode parse_mode(const char *text)
{
    switch (text[0]) {
    case 'r':
    case 'R': return Mode::Read;
    case 'w':
    case 'W': return Mode::Write;
    default: return Mode::None;
    }
}

// Checks every argument before the bus is touched; reports each bad one.
bool parse_args(int argc, char **argv, PokeArgs *args)
{
    unsigned long slave = 0;
    unsigned long reg = 0;
    unsigned long value = 0;
    bool ok = parse_hex("slave_addr", argv[1], &slave);
    args->mode = parse_mode(argv[2]);
    ok = parse_hex("reg", argv[3], &reg) && ok;
    if (args->mode == Mode::Write) {
        if (argc < 5) {
            fputs("Error: missing value to write: regpoke slave_addr w reg value\n", stderr);
            ok = false;
        } else {
            ok = parse_hex("value", argv[4], &value) && ok;
        }
    }
    // Addresses and values wider than their field are cut to it, as the bus takes them.
    args->slave = static_cast<uint8_t>(slave & 0xFF);
    args->reg = static_cast<uint16_t>(reg & 0xFFFF);
    args->value = static_cast<uint16_t>(value & 0xFFFF);
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 4) {
        print_usage();
        return kExitDone;
    }
    PokeArgs args;
    if (!parse_args(argc, argv, &args)) {
        return kExitBadArguments;
    }

    if (i2c_ioctl(REGBUS_OPEN, 0, 0, nullptr) == 0) {
        if (args.mode == Mode::Read) {
            uint16_t value = 0;
            if (i2c_ioctl(REGBUS_READ, args.slave, args.reg, &value) < 0) {
                printf("I2C READ Error!!!\n");
                value = 0; // nothing was read; print 0 rather than what the failed transfer left
            }
            printf("[I2C Read] val = [0x%x]\n", value);
        } else if (args.mode == Mode::Write) {
            uint16_t value = args.value;
            if (i2c_ioctl(REGBUS_WRITE, args.slave, args.reg, &value) < 0) {
                printf("I2C WRITE Error!!!\n");
            }
        }
    }
    // Also after a failed open: the library then says that the bus was not open.
    i2c_ioctl(REGBUS_CLOSE, 0, 0, nullptr);
    return kExitDone;
}
