# Cross toolchain for 32-bit Windows with the MinGW-w64 posix-thread compilers.
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZEL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/MinGWToolchain.cmake)

# 32-bit Windows compilers do double arithmetic in SSE2; the x87 unit would round
# intermediates to 80 bits and change the last bits of parsed numbers.
set(CMAKE_C_FLAGS_INIT "${CMAKE_C_FLAGS_INIT} -msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "${CMAKE_CXX_FLAGS_INIT} -msse2 -mfpmath=sse")
