# Shared part of the Zig toolchain files (cmake/zig-*-linux-gnu.2.17.cmake),
# which set TOURLOOM_ZIG_TARGET, TOURLOOM_ZIG_CPU and CMAKE_SYSTEM_PROCESSOR
# and then include this file.
#
# The wheels are built with Zig's clang and its own libc++, linked statically,
# against the symbol set of glibc 2.17 that Zig carries: a module built this
# way asks the running glibc for nothing newer than 2.17 (manylinux2014),
# whatever glibc the build machine has. The target and the CPU baseline are
# always explicit: without them Zig tunes for the build machine's processor.
#
# Zig is the `zig` program of PyPI's `ziglang` (scripts/build-wheels.sh puts
# it in build/wheel-tools); pass -DTOURLOOM_ZIG=<path> to use another.
set(CMAKE_SYSTEM_NAME Linux)
set(TOURLOOM_ZIG_TOOLCHAIN ON)

if(NOT TOURLOOM_ZIG)
  file(GLOB _tourloom_zig_candidates
       "${CMAKE_CURRENT_LIST_DIR}/../build/wheel-tools/lib/python3*/site-packages/ziglang/zig")
  list(GET _tourloom_zig_candidates 0 _tourloom_zig)
  if(NOT _tourloom_zig)
    find_program(_tourloom_zig zig)
  endif()
  if(NOT _tourloom_zig)
    message(FATAL_ERROR "No zig: pip install ziglang (scripts/build-wheels.sh does) or pass -DTOURLOOM_ZIG=<path>")
  endif()
  set(TOURLOOM_ZIG "${_tourloom_zig}" CACHE FILEPATH "The zig program that compiles the wheels")
endif()

# A compiler given as a list: the program, then arguments it always gets
# (compiling and linking alike).
set(CMAKE_C_COMPILER "${TOURLOOM_ZIG}" cc -target ${TOURLOOM_ZIG_TARGET} -mcpu=${TOURLOOM_ZIG_CPU})
set(CMAKE_CXX_COMPILER "${TOURLOOM_ZIG}" c++ -target ${TOURLOOM_ZIG_TARGET} -mcpu=${TOURLOOM_ZIG_CPU})

# Nothing of the build machine's own libraries or headers may leak in.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# The module ships without its symbol table (a third of its size); panics
# name their source through std::source_location, not through symbols.
set(CMAKE_MODULE_LINKER_FLAGS_INIT -s)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -s)
