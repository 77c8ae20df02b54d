// Coverage builds only (ZEL_COVERAGE): the counters of a process that ends with
// _exit, as the forked children of the tests do, are written first. Every
// program of such a build is linked with --wrap=_exit, so its calls of _exit
// arrive here; the library's counters live in the library (each shared object
// has its own), which is why this sits here and not in the tests.
#if defined(ZEL_COVERAGE_BUILD)
#include "zel/Export.h"

// The names are gcov's and the linker's:
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {
void __gcov_dump(void);
[[noreturn]] void __real__exit(int status);

[[noreturn]] ZEL_API void __wrap__exit(int status) {
    __gcov_dump();
    __real__exit(status);
}
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
#endif
