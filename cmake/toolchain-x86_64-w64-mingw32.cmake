# Cross toolchain for 64-bit Windows with the MinGW-w64 posix-thread compilers.
# x86-64 does its double arithmetic in SSE2 already; no flags are needed.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZEL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGWToolchain.cmake)
