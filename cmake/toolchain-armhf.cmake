# Cross build for the recorder (32-bit ARM, hard float) with Debian's cross compilers
# (g++-arm-linux-gnueabihf). Programs built with it run here under qemu-arm (qemu-user) with
# -L ${PELLISTER_ARMHF_SYSROOT}, where the armhf loader and libraries are.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(PELLISTER_ARMHF_TRIPLE arm-linux-gnueabihf)
set(PELLISTER_ARMHF_SYSROOT /usr/${PELLISTER_ARMHF_TRIPLE} CACHE PATH
    "Root of the armhf libraries and loader (for finding libraries and for qemu-arm -L)")

set(CMAKE_C_COMPILER ${PELLISTER_ARMHF_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${PELLISTER_ARMHF_TRIPLE}-g++)

# Libraries and headers come from the armhf tree only; build tools from the host.
set(CMAKE_FIND_ROOT_PATH ${PELLISTER_ARMHF_SYSROOT})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Lets CMake (and anything run through the emulator variable) start armhf programs on the host.
find_program(PELLISTER_QEMU_ARM qemu-arm)
if(PELLISTER_QEMU_ARM)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${PELLISTER_QEMU_ARM} -L ${PELLISTER_ARMHF_SYSROOT})
endif()
