# A host toolchain against the public headers, run by ctest:
#   cmake -DCOMPILER=<program> -DFLAGS=<list> -DINCLUDES=<list> -DSOURCE=<file>
#         [-DEXPECT=<regex>] -P refusal.cmake
# With EXPECT the compile must fail and its output match EXPECT (the #error line of
# zel/Export.h); without it the compile must succeed. A compiler that is not
# installed prints "SKIPPED:" with the reason, which ctest counts as skipped.
cmake_minimum_required(VERSION 3.25)

find_program(compiler NAMES ${COMPILER} NO_CACHE)
if(NOT compiler)
    message("SKIPPED: ${COMPILER} is not installed")
    return()
endif()
set(args)
foreach(dir ${INCLUDES})
    list(APPEND args -I${dir})
endforeach()
list(APPEND args ${FLAGS}) # last: may end in "--" (clang-cl, for a path starting with "/")
execute_process(COMMAND ${compiler} ${args} ${SOURCE}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
string(REPLACE ";" " " line "${compiler} ${args} ${SOURCE}")
if(DEFINED EXPECT AND NOT EXPECT STREQUAL "")
    if(status EQUAL 0)
        message(FATAL_ERROR "accepted, but must be refused:\n  ${line}")
    endif()
    if(NOT out MATCHES "${EXPECT}")
        message(FATAL_ERROR "refused without the message \"${EXPECT}\":\n  ${line}\n${out}")
    endif()
    string(REGEX MATCH "#error[^\n]*" said "${out}")
    message("refused as it must be: ${said}")
else()
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "refused, but must be accepted:\n  ${line}\n${out}")
    endif()
    message("accepted: ${line}")
endif()
