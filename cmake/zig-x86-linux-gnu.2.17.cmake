# 32-bit x86 Linux, glibc 2.17 or later, the Pentium 4 (SSE2) as the oldest
# processor: the toolchain of the i686 wheels (see cmake/zig-toolchain.cmake).
# Target binaries run under qemu-i386.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOURLOOM_ZIG_TARGET x86-linux-gnu.2.17)
set(TOURLOOM_ZIG_CPU pentium4)
include(${CMAKE_CURRENT_LIST_DIR}/zig-toolchain.cmake)
find_program(TOURLOOM_QEMU_I386 qemu-i386)
if(TOURLOOM_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TOURLOOM_QEMU_I386} -L /)
endif()
