# The part both MinGW-w64 toolchain files share; they set ZEL_MINGW_TRIPLE and
# CMAKE_SYSTEM_PROCESSOR first. The posix-thread compilers give std::thread and
# std::mutex, which the library and its tests use.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${ZEL_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZEL_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${ZEL_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZEL_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC does not realign the Windows stack for 32- and 64-byte vector slots, so an
# aligned spill in an AVX2 or AVX-512 routine could fault; the assembler writes
# every aligned vector move as an unaligned one, which costs nothing on aligned data.
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
