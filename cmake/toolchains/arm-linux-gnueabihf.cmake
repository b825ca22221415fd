# Linux on 32-bit ARM with hardware floating point (Raspberry Pi OS
# 32-bit), under qemu-arm.
set(CMAKE_SYSTEM_PROCESSOR armhf)
set(DORVEX_TRIPLE arm-linux-gnueabihf)
set(DORVEX_QEMU qemu-arm)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
