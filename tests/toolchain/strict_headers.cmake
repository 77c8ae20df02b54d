# Every public header, included alone with -I (not as a system header, so nothing
# is silenced), compiled under the strict warnings a host may use; run by ctest:
#   cmake -DCOMPILER=<program> -DFLAGS=<list> -DINCLUDES=<list> -DHEADERS=<folder>
#         -DTEMPLATES=<source> -P strict_headers.cmake
# Each header is compiled as the first line of an empty source (-include), so
# nothing is written.
# TEMPLATES instantiates the class templates, whose members are checked only then.
# Fails, naming each file and showing its diagnostics, if any warns.
cmake_minimum_required(VERSION 3.25)

set(strict -std=c++17 -fsyntax-only -Wall -Wextra -Wconversion -Wsign-conversion -Wshadow
           -Wold-style-cast -Wpedantic)
set(args)
foreach(dir ${INCLUDES})
    list(APPEND args -I${dir})
endforeach()
file(GLOB headers RELATIVE ${HEADERS} ${HEADERS}/*.h)
list(SORT headers)
set(failed)
foreach(header ${headers} ${TEMPLATES})
    if(IS_ABSOLUTE ${header})
        set(source ${header})
    else()
        set(source -x c++ -include zel/${header} /dev/null)
    endif()
    execute_process(COMMAND ${COMPILER} ${FLAGS} ${strict} ${args} ${source}
                    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
    if(NOT status EQUAL 0 OR NOT out STREQUAL "")
        list(APPEND failed ${header})
        message("${header}:\n${out}")
    endif()
endforeach()
list(LENGTH headers count)
string(REPLACE ";" " " line "${COMPILER} ${FLAGS} ${strict} ${args}")
if(failed)
    string(REPLACE ";" ", " failed "${failed}")
    message(FATAL_ERROR "not clean under ${line}: ${failed}")
endif()
message("${count} public headers and their templates clean under ${line}")
