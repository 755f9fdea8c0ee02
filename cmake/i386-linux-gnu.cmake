# 32-bit x86 Linux from an x86_64 Debian machine: the native compiler with
# -m32 (g++-multilib) and the i386 libraries Debian's multiarch installs.
# Being a toolchain file it makes the build a real cross-compile
# (CMAKE_CROSSCOMPILING), so CMake runs every target binary (GoogleTest's
# test discovery, ctest) through the emulator below, whatever the policy
# settings of the project.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_LIBRARY_ARCHITECTURE i386-linux-gnu)

set(CMAKE_C_FLAGS_INIT -m32)
set(CMAKE_CXX_FLAGS_INIT -m32)
set(CMAKE_EXE_LINKER_FLAGS_INIT -m32)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -m32)
set(CMAKE_MODULE_LINKER_FLAGS_INIT -m32)

# qemu-i386 user-mode emulation; -L / lets it find the i386 loader and
# libraries where multiarch puts them.
find_program(TOURLOOM_QEMU_I386 qemu-i386)
if(TOURLOOM_QEMU_I386)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TOURLOOM_QEMU_I386} -L /)
endif()
