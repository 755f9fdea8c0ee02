# x86_64 Linux, glibc 2.17 or later, the baseline x86-64 processor: the
# toolchain of the x86_64 wheels (see cmake/zig-toolchain.cmake).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOURLOOM_ZIG_TARGET x86_64-linux-gnu.2.17)
set(TOURLOOM_ZIG_CPU x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/zig-toolchain.cmake)
