// ZELBase: export macro and the few definitions every public header shares.
//
// ZEL_API marks every class, function and data item that the shared library
// exports. On Windows it expands to __declspec(dllexport) while the library
// itself is built and to __declspec(dllimport) in host programs (define
// ZELBASE_STATIC when linking a static build). On ELF platforms the library
// is built with hidden visibility and ZEL_API makes the marked names visible,
// so nothing else leaks from libZELBase.so.
//
// 64-bit quantities of the interface (sizes, calendar times, tick counts) are
// `long long` and `unsigned long long`, the same types the Windows compilers
// call __int64 and unsigned __int64.
//
// Host toolchains. The interface carries std::string and std::vector, and the
// header templates free in the host what the library allocated, so a host must be
// built with a compiler of the same C++ ABI, the same C++ library with the same
// std::string layout, and the same C runtime as the library. zel/Config.h records
// the library's at configure time; a host that differs is refused here, with one
// #error line that says what to use instead (docs/building.md has the table):
// MSVC and clang-cl, a language standard below C++17, libc++ against a libstdc++
// library (and the reverse), the other std::string ABI, and on Windows the other C
// runtime (UCRT against msvcrt.dll and the reverse).
#pragma once

#include "zel/Config.h"

#if defined(_MSC_VER)
#error                                                                                             \
    "ZELBase: MSVC and clang-cl hosts cannot use this library (built with GCC and libstdc++, another C++ ABI); build the host with MinGW-w64 GCC or Clang targeting *-w64-mingw32"
#elif !defined(__cplusplus) || __cplusplus < 201703L
#error                                                                                             \
    "ZELBase: the public headers need C++17 or later; compile the host with -std=c++17 (or a later standard)"
#else
#include <cstdlib> // the C++ library's and the C runtime's configuration macros
#if ZEL_CONFIG_LIBSTDCXX && defined(_LIBCPP_VERSION)
#error                                                                                             \
    "ZELBase: the library is built against libstdc++ but this host uses libc++ (std::string and std::vector differ); build the host with libstdc++ (drop -stdlib=libc++)"
#elif !ZEL_CONFIG_LIBSTDCXX && defined(__GLIBCXX__)
#error                                                                                             \
    "ZELBase: the library is built against libc++ but this host uses libstdc++; build the host with -stdlib=libc++"
#elif defined(__GLIBCXX__) && (_GLIBCXX_USE_CXX11_ABI + 0) != ZEL_CONFIG_CXX11_ABI
#error                                                                                             \
    "ZELBase: this host's std::string ABI (_GLIBCXX_USE_CXX11_ABI) differs from the library's; build the host without defining _GLIBCXX_USE_CXX11_ABI, as the library is"
#elif defined(_WIN32) && ZEL_CONFIG_UCRT && !defined(_UCRT)
#error                                                                                             \
    "ZELBase: this DLL uses the UCRT C runtime but the host uses msvcrt.dll (the host would free the library's blocks with another runtime); build the host with a UCRT MinGW-w64 toolchain"
#elif defined(_WIN32) && !ZEL_CONFIG_UCRT && defined(_UCRT)
#error                                                                                             \
    "ZELBase: this DLL uses msvcrt.dll but the host uses the UCRT C runtime (the host would free the library's blocks with another runtime); build the host with an msvcrt MinGW-w64 toolchain, such as Debian's *-w64-mingw32-g++-posix"
#endif
#endif

#if defined(_WIN32)
#if defined(ZELBASE_BUILDING)
#define ZEL_API __declspec(dllexport)
#elif defined(ZELBASE_STATIC)
#define ZEL_API
#else
#define ZEL_API __declspec(dllimport)
#endif
#else
#define ZEL_API __attribute__((visibility("default")))
#endif
