# Linux on s390x (big-endian), under qemu-s390x.
set(CMAKE_SYSTEM_PROCESSOR s390x)
set(DORVEX_TRIPLE s390x-linux-gnu)
set(DORVEX_QEMU qemu-s390x)
include(${CMAKE_CURRENT_LIST_DIR}/linux-cross.cmake)
