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
#pragma once

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
