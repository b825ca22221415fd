# Linux on i686 (32-bit words), under qemu-i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(DORVEX_TRIPLE i686-linux-gnu)
set(DORVEX_QEMU qemu-i386)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
