# Linux on 64-bit ARM (Raspberry Pi 3 and later, 64-bit OS), under
# qemu-aarch64.
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(DORVEX_TRIPLE aarch64-linux-gnu)
set(DORVEX_QEMU qemu-aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
