/*
 * libregbus: register access to the chips on the recorder's I2C bus through the kernel's i2c-dev
 * device. One open bus is shared by all users of a process; the lock that guards it is supplied by
 * the host program (MakeSem and friends below), so the library itself needs no threads library.
 */
#ifndef REGBUS_H
#define REGBUS_H

#include <stdint.h>

#ifdef __cplusplus
#define REGBUS_NOEXCEPT noexcept
extern "C" {
#else
#define REGBUS_NOEXCEPT
#endif

/* Commands of i2c_ioctl. Any other command does nothing and returns -1. */
enum {
    REGBUS_OPEN = 0,  /* open the bus, or join the users of the open bus */
    REGBUS_CLOSE = 1, /* leave; the last user closes the device and destroys the lock */
    REGBUS_READ = 2,  /* i2c_read_reg under the lock; the result goes to *value */
    REGBUS_WRITE = 3  /* i2c_write_reg of *value under the lock */
};

/* Lock handle created by the host's MakeSem; 0 means none. */
typedef void *SemHandle;

/* All three return 0 on success and a negative value on failure (-1 with errno set for a failed
 * transfer). i2c_ioctl is the entry point for callers that share the bus; the other two neither
 * lock nor check that the bus is open. */
int i2c_ioctl(int cmd, uint8_t slave, uint16_t reg, uint16_t *value) REGBUS_NOEXCEPT;
int i2c_read_reg(uint8_t slave, uint16_t reg, uint16_t *value) REGBUS_NOEXCEPT;
int i2c_write_reg(uint8_t slave, uint16_t reg, uint16_t value) REGBUS_NOEXCEPT;

/* The host program must export these; they are resolved from it when the library is loaded.
 * MakeSem returns 0 on failure; the others return 0, or -1 for a 0 handle. */
SemHandle MakeSem(void) REGBUS_NOEXCEPT;
int SemWait(SemHandle sem) REGBUS_NOEXCEPT;
int SemRelease(SemHandle sem) REGBUS_NOEXCEPT;
int DestroySem(SemHandle sem) REGBUS_NOEXCEPT;

#ifdef __cplusplus
}
#endif

#endif /* REGBUS_H */
