# What every Linux cross build shares: Debian's cross compiler for
# DORVEX_TRIPLE, its libraries and headers only, and ctest running the
# tests under DORVEX_QEMU from qemu-user. Included by each toolchain file.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_C_COMPILER ${DORVEX_TRIPLE}-gcc)
set(CMAKE_CXX_COMPILER ${DORVEX_TRIPLE}-g++)
set(CMAKE_FIND_ROOT_PATH /usr/${DORVEX_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${DORVEX_QEMU};-L;/usr/${DORVEX_TRIPLE})
