// libregbus: SMBus transfers through i2c-dev, the register conventions of the recorder's chips and
// the sharing of one open bus among the users of a process.
//
// Device conventions, chosen by the 7-bit slave address:
//   0x5D  16-bit big-endian registers in three pages (0x0000 to 0x02FF); the page is selected by
//         writing it to register 0xF0. The chip sends and expects the most significant byte first,
//         while an SMBus word goes least significant byte first, so words are byte-swapped.
//   0x38  8-bit registers; registers 2, 4 and 6 are read as words (the register and the next one).
//   other 8-bit registers.
#include "regbus.h"

#include <cerrno>
#include <cstdio>

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace {

constexpr const char *kBusDevice = "/dev/i2c/0";
constexpr uint8_t kPagedSlave = 0x5D;
constexpr uint8_t kWordReadSlave = 0x38;
constexpr uint8_t kPageSelectRegister = 0xF0;
constexpr int kLastPage = 2;
constexpr int kNoPage = -1;

// -1 while closed, so that a direct i2c_read_reg/i2c_write_reg without an open bus fails with
// EBADF instead of sending I2C requests to whatever file later reuses the descriptor number.
int i2c_fd = -1;
int i2c_number_of_client = 0;
SemHandle hndlI2CSemaphore = nullptr;

uint16_t swap_bytes(uint16_t v)
{
    return static_cast<uint16_t>((v << 8) | (v >> 8));
}

// One SMBus transfer. The slave address is set every time so that transfers to different devices
// may alternate freely on the shared descriptor.
int smbus_transfer(uint8_t slave, uint8_t read_write, uint8_t command, uint32_t size, i2c_smbus_data *data)
{
    int rc = ioctl(i2c_fd, I2C_SLAVE, static_cast<unsigned long>(slave));
    if (rc < 0) {
        return rc;
    }
    i2c_smbus_ioctl_data request{};
    request.read_write = read_write;
    request.command = command;
    request.size = size;
    request.data = data;
    return ioctl(i2c_fd, I2C_SMBUS, &request);
}

// The caller's 16-bit value travels in a full kernel union so that the kernel (or anything standing
// in for it) may use the whole union. A byte transfer carries only the value's low byte; a byte read
// leaves the high byte of *value as it was (the register functions clear it).
int i2c_read_byte_data_client(uint8_t slave, uint8_t command, uint16_t *value)
{
    i2c_smbus_data data{};
    data.word = *value;
    int rc = smbus_transfer(slave, I2C_SMBUS_READ, command, I2C_SMBUS_BYTE_DATA, &data);
    *value = static_cast<uint16_t>((*value & 0xFF00) | data.byte);
    return rc;
}

int i2c_write_byte_data_client(uint8_t slave, uint8_t command, uint16_t value)
{
    i2c_smbus_data data{};
    data.byte = static_cast<uint8_t>(value & 0xFF);
    return smbus_transfer(slave, I2C_SMBUS_WRITE, command, I2C_SMBUS_BYTE_DATA, &data);
}

int i2c_read_word_data_client(uint8_t slave, uint8_t command, uint16_t *value)
{
    i2c_smbus_data data{};
    data.word = *value;
    int rc = smbus_transfer(slave, I2C_SMBUS_READ, command, I2C_SMBUS_WORD_DATA, &data);
    *value = data.word;
    return rc;
}

int i2c_write_word_data_client(uint8_t slave, uint8_t command, uint16_t value)
{
    i2c_smbus_data data{};
    data.word = value;
    return smbus_transfer(slave, I2C_SMBUS_WRITE, command, I2C_SMBUS_WORD_DATA, &data);
}

uint8_t low_byte(uint16_t reg)
{
    return static_cast<uint8_t>(reg & 0xFF);
}

// Selects the page of a paged register. The page last selected is remembered for the whole process
// (also across close and reopen) so that runs of accesses in one page cost one transfer each; it is
// only recorded once the chip has accepted it, so a failed select is retried on the next access.
int reg_page_map_set(uint8_t slave, uint16_t reg)
{
    static int lastpage = kNoPage;
    const int page = reg >> 8;
    if (page == lastpage) {
        return 0;
    }
    if (page > kLastPage) {
        errno = EINVAL;
        return -1;
    }
    // The page register is big-endian like the others: the chip receives 0x00, then the page.
    int rc = i2c_write_word_data_client(slave, kPageSelectRegister, swap_bytes(static_cast<uint16_t>(page)));
    if (rc == 0) {
        lastpage = page;
    }
    return rc;
}

} // namespace

extern "C" {

__attribute__((visibility("default"))) int i2c_write_reg(uint8_t slave, uint16_t reg, uint16_t value) noexcept
{
    if (slave != kPagedSlave) {
        return i2c_write_byte_data_client(slave, low_byte(reg), value);
    }
    int rc = reg_page_map_set(slave, reg);
    if (rc != 0) {
        return rc;
    }
    return i2c_write_word_data_client(slave, low_byte(reg), swap_bytes(value));
}

__attribute__((visibility("default"))) int i2c_read_reg(uint8_t slave, uint16_t reg, uint16_t *value) noexcept
{
    if (value == nullptr) {
        errno = EINVAL;
        return -1;
    }
    if (slave == kWordReadSlave && (reg == 2 || reg == 4 || reg == 6)) {
        // Returned as received: the addressed register in the low byte, the next one in the high byte.
        return i2c_read_word_data_client(slave, low_byte(reg), value);
    }
    if (slave == kPagedSlave) {
        int rc = reg_page_map_set(slave, reg);
        if (rc != 0) {
            return rc;
        }
        rc = i2c_read_word_data_client(slave, low_byte(reg), value);
        if (rc >= 0) {
            *value = swap_bytes(*value);
        }
        return rc;
    }
    int rc = i2c_read_byte_data_client(slave, low_byte(reg), value);
    *value &= 0xFF;
    return rc;
}

__attribute__((visibility("default"))) int i2c_ioctl(int cmd, uint8_t slave, uint16_t reg,
                                                     uint16_t *value) noexcept
{
    if (cmd == REGBUS_OPEN) {
        // The lock does not exist before the first open, so opening is not locked: the host opens the
        // bus before it starts sharing it between threads.
        if (i2c_number_of_client > 0) {
            ++i2c_number_of_client;
            return 0;
        }
        int fd = open(kBusDevice, O_RDWR);
        if (fd < 0) {
            return -1;
        }
        SemHandle sem = MakeSem();
        if (sem == nullptr) {
            close(fd);
            return -1;
        }
        i2c_fd = fd;
        hndlI2CSemaphore = sem;
        i2c_number_of_client = 1;
        return 0;
    }

    if (i2c_number_of_client <= 0 || hndlI2CSemaphore == nullptr) {
        fputs("I2C Client was not openned!\n", stderr);
        return -1;
    }
    SemHandle sem = hndlI2CSemaphore;
    SemWait(sem);

    if (cmd == REGBUS_CLOSE) {
        --i2c_number_of_client;
        if (i2c_number_of_client >= 1) {
            SemRelease(sem);
            return 0;
        }
        close(i2c_fd);
        i2c_fd = -1;
        i2c_number_of_client = 0;
        hndlI2CSemaphore = nullptr;
        SemRelease(sem);
        return DestroySem(sem);
    }

    int rc = -1;
    if (cmd == REGBUS_READ) {
        rc = i2c_read_reg(slave, reg, value);
    } else if (cmd == REGBUS_WRITE) {
        if (value == nullptr) {
            errno = EINVAL;
        } else {
            rc = i2c_write_reg(slave, reg, *value);
        }
    }
    SemRelease(sem);
    return rc;
}

} // extern "C"
