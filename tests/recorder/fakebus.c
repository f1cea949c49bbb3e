/*
 * Fake I2C bus for the recorder tests, loaded with LD_PRELOAD into the program under test.
 *
 * It answers open/close/ioctl on "/dev/i2c/0" and passes every other call on to the C library.
 * Devices on the bus:
 *   0x5D  three pages of 256 16-bit registers, big-endian on the wire; register 0xF0 selects the
 *         page (written as two bytes: 0x00, page); pages beyond 2 are not acknowledged.
 *   0x38, 0x56  256 8-bit registers; a word transfer covers the register and the next one.
 * Any other address is not acknowledged (ENXIO). Byte transfers to 0x5D are not acknowledged.
 *
 * Environment:
 *   FAKEBUS_LOG=path         append one line per event: "open rw" (or ro/wo), "open refused",
 *                            "close", and per SMBus transfer
 *                            "<slave> <R|W> <command> <byte|word> <wire bytes...>[ fail]"
 *                            (all hexadecimal, two digits; bytes in the order they cross the bus),
 *                            and "i2c request on another file" for an I2C request on an open
 *                            descriptor that is not the bus
 *   FAKEBUS_REGS="5d:0123=abcd 38:04=44 ..."
 *                            initial register contents (0x5D: page and register, 16-bit value)
 *   FAKEBUS_REFUSE_OPEN=1    opening the bus fails with ENOENT
 *   FAKEBUS_FAIL_AT=n[,m...] the n-th SMBus transfer (counted from 1) fails with EIO
 *
 * Like the kernel, a byte read stores only the union's byte member and a word read its word.
 * Every call is serialised by one mutex, as transfers are on a real bus; after each transfer the
 * calling thread yields so that threads of the program under test interleave as much as possible.
 */
#define _GNU_SOURCE
#if defined(_FILE_OFFSET_BITS) && _FILE_OFFSET_BITS == 64
#error "the fake bus defines open and open64 separately; build it without _FILE_OFFSET_BITS=64"
#endif

#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <pthread.h>
#include <sched.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#define BUS_PATH "/dev/i2c/0"
#define PAGED_SLAVE 0x5D
#define PAGE_SELECT 0xF0
#define PAGE_COUNT 3
#define MAX_FAKE_FDS 16
#define MAX_FAIL_AT 16

typedef int (*open_fn)(const char *, int, ...);
typedef int (*openat_fn)(int, const char *, int, ...);
typedef int (*close_fn)(int);
typedef int (*ioctl_fn)(int, unsigned long, ...);

static open_fn real_open;
static open_fn real_open64;
static openat_fn real_openat;
static openat_fn real_openat64;
static close_fn real_close;
static ioctl_fn real_ioctl;

static pthread_mutex_t bus_mutex = PTHREAD_MUTEX_INITIALIZER;
static int log_fd = -1;
static int refuse_open;
static unsigned long fail_at[MAX_FAIL_AT];
static int fail_at_count;
static unsigned long transfer_count;

struct fake_fd {
    int fd; /* a real descriptor (of /dev/null) standing for the bus */
    int slave;
};
static struct fake_fd fake_fds[MAX_FAKE_FDS];

static uint16_t paged_regs[PAGE_COUNT][256];
static int current_page;
static uint8_t regs_38[256];
static uint8_t regs_56[256];

static void log_line(const char *line)
{
    if (log_fd >= 0) {
        size_t len = strlen(line);
        /* The log is on a local file; a short write would only truncate the test's evidence. */
        if (write(log_fd, line, len) != (ssize_t)len) {
            abort();
        }
    }
}

static void seed_registers(const char *spec)
{
    const char *p = spec;
    while (*p != '\0') {
        unsigned slave = 0;
        unsigned reg = 0;
        unsigned value = 0;
        int used = 0;
        if (sscanf(p, " %x:%x=%x%n", &slave, &reg, &value, &used) != 3) {
            fprintf(stderr, "fakebus: bad FAKEBUS_REGS entry at '%s'\n", p);
            abort();
        }
        if (slave == PAGED_SLAVE && (reg >> 8) < PAGE_COUNT) {
            paged_regs[reg >> 8][reg & 0xFF] = (uint16_t)value;
        } else if (slave == 0x38 && reg < 256) {
            regs_38[reg] = (uint8_t)value;
        } else if (slave == 0x56 && reg < 256) {
            regs_56[reg] = (uint8_t)value;
        } else {
            fprintf(stderr, "fakebus: no register %x:%x\n", slave, reg);
            abort();
        }
        p += used;
        while (*p == ' ' || *p == ',') {
            ++p;
        }
    }
}

__attribute__((constructor)) static void fakebus_init(void)
{
    real_open = (open_fn)dlsym(RTLD_NEXT, "open");
    real_open64 = (open_fn)dlsym(RTLD_NEXT, "open64");
    real_openat = (openat_fn)dlsym(RTLD_NEXT, "openat");
    real_openat64 = (openat_fn)dlsym(RTLD_NEXT, "openat64");
    real_close = (close_fn)dlsym(RTLD_NEXT, "close");
    real_ioctl = (ioctl_fn)dlsym(RTLD_NEXT, "ioctl");
    if (!real_open || !real_close || !real_ioctl) {
        fputs("fakebus: cannot find the C library's open/close/ioctl\n", stderr);
        abort();
    }
    for (int i = 0; i < MAX_FAKE_FDS; ++i) {
        fake_fds[i].fd = -1;
    }
    const char *log_path = getenv("FAKEBUS_LOG");
    if (log_path && *log_path) {
        log_fd = real_open(log_path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (log_fd < 0) {
            perror("fakebus: FAKEBUS_LOG");
            abort();
        }
    }
    const char *refuse = getenv("FAKEBUS_REFUSE_OPEN");
    refuse_open = refuse && strcmp(refuse, "1") == 0;
    const char *fails = getenv("FAKEBUS_FAIL_AT");
    for (const char *p = fails; p && *p && fail_at_count < MAX_FAIL_AT;) {
        char *end = NULL;
        fail_at[fail_at_count++] = strtoul(p, &end, 10);
        p = (*end == ',') ? end + 1 : end;
        if (end == p && *p != '\0') {
            break;
        }
    }
    const char *regs = getenv("FAKEBUS_REGS");
    if (regs) {
        seed_registers(regs);
    }
}

static struct fake_fd *find_fake(int fd)
{
    for (int i = 0; i < MAX_FAKE_FDS; ++i) {
        if (fake_fds[i].fd == fd && fd >= 0) {
            return &fake_fds[i];
        }
    }
    return NULL;
}

static int open_bus(int flags)
{
    pthread_mutex_lock(&bus_mutex);
    int result = -1;
    if (refuse_open) {
        log_line("open refused\n");
        errno = ENOENT;
    } else {
        int fd = real_open("/dev/null", O_RDWR | (flags & O_CLOEXEC));
        if (fd >= 0) {
            struct fake_fd *slot = NULL;
            for (int i = 0; i < MAX_FAKE_FDS && !slot; ++i) {
                if (fake_fds[i].fd < 0) {
                    slot = &fake_fds[i];
                }
            }
            if (slot) {
                slot->fd = fd;
                slot->slave = -1;
                int mode = flags & O_ACCMODE;
                log_line(mode == O_RDWR ? "open rw\n" : mode == O_WRONLY ? "open wo\n" : "open ro\n");
                result = fd;
            } else {
                real_close(fd);
                errno = EMFILE;
            }
        }
    }
    pthread_mutex_unlock(&bus_mutex);
    return result;
}

static int mode_arg(int flags, va_list ap)
{
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? va_arg(ap, int) : 0;
}

int open(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    if (strcmp(path, BUS_PATH) == 0) {
        return open_bus(flags);
    }
    return real_open(path, flags, mode);
}

int open64(const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    if (strcmp(path, BUS_PATH) == 0) {
        return open_bus(flags);
    }
    return (real_open64 ? real_open64 : real_open)(path, flags, mode);
}

int openat(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    if (strcmp(path, BUS_PATH) == 0) {
        return open_bus(flags);
    }
    return real_openat(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char *path, int flags, ...)
{
    va_list ap;
    va_start(ap, flags);
    int mode = mode_arg(flags, ap);
    va_end(ap);
    if (strcmp(path, BUS_PATH) == 0) {
        return open_bus(flags);
    }
    return (real_openat64 ? real_openat64 : real_openat)(dirfd, path, flags, mode);
}

/* The checked variants that _FORTIFY_SOURCE builds call. */
int __open_2(const char *path, int flags)
{
    return open(path, flags);
}
int __open64_2(const char *path, int flags)
{
    return open64(path, flags);
}

int close(int fd)
{
    pthread_mutex_lock(&bus_mutex);
    struct fake_fd *fake = find_fake(fd);
    if (fake) {
        fake->fd = -1;
        log_line("close\n");
    }
    pthread_mutex_unlock(&bus_mutex);
    return real_close(fd);
}

static int device_present(int slave)
{
    return slave == PAGED_SLAVE || slave == 0x38 || slave == 0x56;
}

/* Carries out one transfer on the simulated devices. wire[] holds the bytes that cross the bus:
 * filled in by the caller for a write, here for a read. Returns 0 or an errno value. */
static int transfer(int slave, const struct i2c_smbus_ioctl_data *req, uint8_t wire[2])
{
    const int is_read = req->read_write == I2C_SMBUS_READ;
    const int is_word = req->size == I2C_SMBUS_WORD_DATA;
    const uint8_t cmd = req->command;
    if (!device_present(slave) || (slave == PAGED_SLAVE && !is_word)) {
        return ENXIO;
    }
    if (slave == PAGED_SLAVE) {
        if (cmd == PAGE_SELECT) {
            if (is_read) {
                wire[0] = 0;
                wire[1] = (uint8_t)current_page;
            } else {
                int page = (wire[0] << 8) | wire[1];
                if (page >= PAGE_COUNT) {
                    return ENXIO;
                }
                current_page = page;
            }
        } else if (is_read) {
            uint16_t value = paged_regs[current_page][cmd];
            wire[0] = (uint8_t)(value >> 8);
            wire[1] = (uint8_t)(value & 0xFF);
        } else {
            paged_regs[current_page][cmd] = (uint16_t)((wire[0] << 8) | wire[1]);
        }
        return 0;
    }
    uint8_t *regs = slave == 0x38 ? regs_38 : regs_56;
    for (int i = 0; i < (is_word ? 2 : 1); ++i) {
        uint8_t r = (uint8_t)(cmd + i);
        if (is_read) {
            wire[i] = regs[r];
        } else {
            regs[r] = wire[i];
        }
    }
    return 0;
}

static int should_fail(unsigned long n)
{
    for (int i = 0; i < fail_at_count; ++i) {
        if (fail_at[i] == n) {
            return 1;
        }
    }
    return 0;
}

static int smbus(struct fake_fd *fake, struct i2c_smbus_ioctl_data *req)
{
    if (req == NULL || req->data == NULL || req->read_write > I2C_SMBUS_READ ||
        (req->size != I2C_SMBUS_BYTE_DATA && req->size != I2C_SMBUS_WORD_DATA)) {
        return EINVAL;
    }
    if (fake->slave < 0) {
        return EINVAL; /* no slave address chosen on this descriptor */
    }
    const int is_read = req->read_write == I2C_SMBUS_READ;
    const int is_word = req->size == I2C_SMBUS_WORD_DATA;
    uint8_t wire[2] = {0, 0};
    if (!is_read) {
        /* An SMBus word goes least significant byte first. */
        wire[0] = is_word ? (uint8_t)(req->data->word & 0xFF) : req->data->byte;
        wire[1] = (uint8_t)(req->data->word >> 8);
    }
    ++transfer_count;
    int err = should_fail(transfer_count) ? EIO : transfer(fake->slave, req, wire);
    if (is_read && !err) {
        if (is_word) {
            req->data->word = (uint16_t)(wire[0] | (wire[1] << 8));
        } else {
            req->data->byte = wire[0];
        }
    }

    /* A failed read has no bytes to show; a refused write shows what was offered. */
    const int shown = (is_read && err) ? 0 : (is_word ? 2 : 1);
    char line[96];
    int n = snprintf(line, sizeof line, "%02x %c %02x %s", fake->slave, is_read ? 'R' : 'W', req->command,
                     is_word ? "word" : "byte");
    for (int i = 0; i < shown; ++i) {
        n += snprintf(line + n, sizeof line - (size_t)n, " %02x", wire[i]);
    }
    snprintf(line + n, sizeof line - (size_t)n, "%s\n", err ? " fail" : "");
    log_line(line);
    return err;
}

int ioctl(int fd, unsigned long request, ...)
{
    va_list ap;
    va_start(ap, request);
    void *arg = va_arg(ap, void *);
    va_end(ap);

    pthread_mutex_lock(&bus_mutex);
    struct fake_fd *fake = find_fake(fd);
    if (!fake) {
        if (fd >= 0 && (request == I2C_SLAVE || request == I2C_SLAVE_FORCE || request == I2C_SMBUS)) {
            /* A bus request sent to some other open file, e.g. through a stale descriptor number. */
            log_line("i2c request on another file\n");
        }
        pthread_mutex_unlock(&bus_mutex);
        return real_ioctl(fd, request, arg);
    }
    int err = 0;
    int was_transfer = 0;
    switch (request) {
    case I2C_SLAVE:
    case I2C_SLAVE_FORCE: {
        unsigned long address = (unsigned long)arg;
        if (address > 0x7F) {
            err = EINVAL;
        } else {
            fake->slave = (int)address;
        }
        break;
    }
    case I2C_SMBUS:
        was_transfer = 1;
        err = smbus(fake, (struct i2c_smbus_ioctl_data *)arg);
        break;
    default: err = ENOTTY; break;
    }
    pthread_mutex_unlock(&bus_mutex);
    if (was_transfer) {
        sched_yield();
    }
    if (err) {
        errno = err;
        return -1;
    }
    return 0;
}
