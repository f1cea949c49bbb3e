// The lock that libregbus asks of its host: a process-private pthread mutex behind an opaque handle.
// These functions are exported from the program (see regpoke.dynlist) so that the library, which
// leaves them undefined, binds to them when it is loaded.
#include "regbus.h"

#include <cstdio>
#include <cstdlib>

#include <pthread.h>

extern "C" {

__attribute__((visibility("default"))) SemHandle MakeSem(void) noexcept
{
    auto *mutex = static_cast<pthread_mutex_t *>(std::malloc(sizeof(pthread_mutex_t)));
    if (mutex == nullptr) {
        fputs("Error: Not enough memory!!\n", stderr);
        return nullptr;
    }
    if (pthread_mutex_init(mutex, nullptr) != 0) {
        fputs("Error: Sem_Creat init faill!!\n", stderr);
        std::free(mutex);
        return nullptr;
    }
    return mutex;
}

__attribute__((visibility("default"))) int SemWait(SemHandle sem) noexcept
{
    if (sem == nullptr) {
        fputs("Error: Invalid Semaphore handler\n", stderr);
        return -1;
    }
    pthread_mutex_lock(static_cast<pthread_mutex_t *>(sem));
    return 0;
}

__attribute__((visibility("default"))) int SemRelease(SemHandle sem) noexcept
{
    if (sem == nullptr) {
        fputs("Error: Invalid Semaphore handler\n", stderr);
        return -1;
    }
    pthread_mutex_unlock(static_cast<pthread_mutex_t *>(sem));
    return 0;
}

__attribute__((visibility("default"))) int DestroySem(SemHandle sem) noexcept
{
    if (sem == nullptr) {
        fputs("Error: Invalid Semaphore handler\n", stderr);
        return -1;
    }
    auto *mutex = static_cast<pthread_mutex_t *>(sem);
    if (pthread_mutex_destroy(mutex) != 0) {
        fputs("Error: Sem_kill faill!!\n", stderr);
    }
    std::free(mutex);
    return 0;
}

} // extern "C"
