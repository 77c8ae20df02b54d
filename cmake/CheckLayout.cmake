# Keeps the house to the rules of docs/architecture.md; run by ctest as `layout`:
#
#   cmake -DZEL_SOURCE_DIR=<checkout> -P cmake/CheckLayout.cmake
#
# Fails, naming every offending file, when
#   - a file includes what its floor may not: src/base/ only base/ and
#     zel/Export.h and zel/Memory.h (the allocation hooks); src/platform/ only
#     platform/, base/ and zel/Export.h;
#     include/zel/ only zel/; library code never the test seams (testing/); the
#     tool only public headers and its own files;
#   - code outside src/platform/ asks which system it is built for (_WIN32) or
#     includes an operating-system interface header;
#   - two files share a name (compared without extension and case) without being
#     one family: a header and its source in one folder, a public header and its
#     source in src/<subsystem>/, a platform contract and its posix/ and win32/
#     backends; or a backend is not named exactly like a contract header, or does
#     not open by saying that it holds only generic POSIX (or Win32) code.
# bench/ and fuzz/ are left out: each program there is named after the area it
# measures or attacks (bench_strings, fuzz_strings).
cmake_minimum_required(VERSION 3.25)

if(NOT ZEL_SOURCE_DIR)
    get_filename_component(ZEL_SOURCE_DIR "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
endif()

# Files that are being reworked elsewhere and do not follow the rules yet; each is
# skipped by every check. An entry whose file is gone is reported so that it can go.
set(PENDING)

# Backend files that implement no contract header: the DLL entry point, and the
# POSIX helpers that the named-object and log backends share (posix/SharedFiles.h).
set(BACKEND_ONLY src/platform/win32/dllmain.cpp src/platform/posix/SharedFiles.cpp)

set(OS_HEADERS
    windows.h winbase.h unistd.h pthread.h fcntl.h io.h dirent.h shlobj.h objbase.h
    conio.h termios.h aclapi.h sddl.h knownfolders.h semaphore.h)

set(failures "")
macro(fail text)
    string(APPEND failures "  ${text}\n")
endmacro()

file(GLOB_RECURSE all RELATIVE "${ZEL_SOURCE_DIR}" LIST_DIRECTORIES false
     "${ZEL_SOURCE_DIR}/src/*" "${ZEL_SOURCE_DIR}/include/*" "${ZEL_SOURCE_DIR}/tools/*"
     "${ZEL_SOURCE_DIR}/tests/*" "${ZEL_SOURCE_DIR}/examples/*")
list(SORT all)
set(files "")
foreach(f IN LISTS all)
    if(f MATCHES "(^|/)\\.")
        continue()
    endif()
    list(APPEND files "${f}")
endforeach()

foreach(p IN LISTS PENDING)
    if(NOT EXISTS "${ZEL_SOURCE_DIR}/${p}")
        message(STATUS "layout: ${p} no longer exists; remove it from PENDING")
    endif()
endforeach()

# ---- includes, system checks and OS headers ----
foreach(f IN LISTS files)
    if(NOT f MATCHES "\\.(h|cpp)$" OR f IN_LIST PENDING)
        continue()
    endif()
    file(STRINGS "${ZEL_SOURCE_DIR}/${f}" lines REGEX "^[ \t]*#[ \t]*(include|if|ifdef|ifndef|elif)")
    foreach(line IN LISTS lines)
        if(line MATCHES "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\"")
            set(inc "${CMAKE_MATCH_1}")
            if(f MATCHES "^src/base/")
                if(NOT inc MATCHES "^base/" AND NOT inc MATCHES "^zel/(Export|Memory)\\.h$")
                    fail("${f}: includes \"${inc}\" (src/base/ includes only base/, zel/Export.h and zel/Memory.h)")
                endif()
            elseif(f MATCHES "^src/platform/")
                if(NOT inc MATCHES "^(platform|base)/" AND NOT inc STREQUAL "zel/Export.h")
                    fail("${f}: includes \"${inc}\" (src/platform/ includes only platform/, base/ and zel/Export.h)")
                endif()
            elseif(f MATCHES "^include/")
                if(NOT inc MATCHES "^zel/")
                    fail("${f}: includes \"${inc}\" (public headers include only zel/)")
                endif()
            elseif(f MATCHES "^src/testing/")
                # The seams reach into every floor.
            elseif(f MATCHES "^src/")
                if(inc MATCHES "^testing/")
                    fail("${f}: includes \"${inc}\" (the test seams are for the tests only)")
                endif()
            elseif(f MATCHES "^tools/")
                if(inc MATCHES "/" AND NOT inc MATCHES "^zel/")
                    fail("${f}: includes \"${inc}\" (the tool uses the public headers only)")
                endif()
            endif()
        elseif(line MATCHES "^[ \t]*#[ \t]*include[ \t]*<([^>]+)>")
            set(inc "${CMAKE_MATCH_1}")
            string(TOLOWER "${inc}" lower)
            if((f MATCHES "^src/" AND NOT f MATCHES "^src/platform/") OR f MATCHES "^include/")
                if(lower IN_LIST OS_HEADERS OR lower MATCHES "^sys/")
                    fail("${f}: includes <${inc}> (operating-system calls live in src/platform/)")
                endif()
            endif()
        elseif(line MATCHES "_WIN32" AND f MATCHES "^src/" AND NOT f MATCHES "^src/platform/")
            fail("${f}: tests _WIN32 (only src/platform/ knows the system)")
        endif()
    endforeach()
endforeach()

# ---- one name, one thing ----
set(stems "")
foreach(f IN LISTS files)
    get_filename_component(name "${f}" NAME)
    if(name STREQUAL "CMakeLists.txt" OR name MATCHES "^main\\.cpp$" OR NOT f MATCHES "\\.(h|cpp)$")
        continue()
    endif()
    get_filename_component(stem "${f}" NAME_WE)
    string(TOLOWER "${stem}" key)
    string(MAKE_C_IDENTIFIER "${key}" key)
    list(APPEND ZEL_STEM_${key} "${f}")
    list(APPEND stems "${key}")
endforeach()
list(REMOVE_DUPLICATES stems)

# Whether two files of one stem form one family.
function(same_family a b out)
    set(${out} FALSE PARENT_SCOPE)
    get_filename_component(da "${a}" DIRECTORY)
    get_filename_component(db "${b}" DIRECTORY)
    get_filename_component(sa "${a}" NAME_WE)
    get_filename_component(sb "${b}" NAME_WE)
    if(NOT sa STREQUAL sb)
        return() # the same name in another case: a different spelling of one thing
    endif()
    if(da STREQUAL db)
        set(${out} TRUE PARENT_SCOPE)
        return()
    endif()
    foreach(pair "${a};${b}" "${b};${a}")
        list(GET pair 0 x)
        list(GET pair 1 y)
        if(x MATCHES "^include/zel/[^/]+\\.h$" AND y MATCHES "^src/[^/]+/[^/]+\\.cpp$"
           AND NOT y MATCHES "^src/(platform|base|testing)/")
            set(${out} TRUE PARENT_SCOPE)
            return()
        endif()
        if(x MATCHES "^src/platform/[^/]+\\.h$" AND y MATCHES "^src/platform/(posix|win32)/[^/]+\\.cpp$")
            set(${out} TRUE PARENT_SCOPE)
            return()
        endif()
    endforeach()
    if(a MATCHES "^src/platform/(posix|win32)/[^/]+\\.cpp$" AND b MATCHES "^src/platform/(posix|win32)/[^/]+\\.cpp$")
        set(${out} TRUE PARENT_SCOPE)
    endif()
endfunction()

foreach(key IN LISTS stems)
    set(group "${ZEL_STEM_${key}}")
    list(LENGTH group n)
    if(n LESS 2)
        continue()
    endif()
    math(EXPR last "${n} - 1")
    foreach(i RANGE 0 ${last})
        list(GET group ${i} a)
        math(EXPR next "${i} + 1")
        if(next GREATER last)
            continue()
        endif()
        foreach(j RANGE ${next} ${last})
            list(GET group ${j} b)
            if(a IN_LIST PENDING OR b IN_LIST PENDING)
                continue()
            endif()
            same_family("${a}" "${b}" ok)
            if(NOT ok)
                fail("${a} and ${b} share a name")
            endif()
        endforeach()
    endforeach()
endforeach()

foreach(f IN LISTS files)
    if(f MATCHES "^src/platform/(posix|win32)/([^/]+)\\.cpp$" AND NOT f IN_LIST PENDING
       AND NOT f IN_LIST BACKEND_ONLY)
        if(NOT EXISTS "${ZEL_SOURCE_DIR}/src/platform/${CMAKE_MATCH_2}.h")
            fail("${f}: no contract header src/platform/${CMAKE_MATCH_2}.h")
        endif()
    endif()
    if(f MATCHES "^src/platform/(posix|win32)/.*\\.(cpp|h)$" AND NOT f IN_LIST PENDING)
        if(CMAKE_MATCH_1 STREQUAL "posix")
            set(opening "// Generic POSIX code only")
        else()
            set(opening "// Win32 code only")
        endif()
        file(STRINGS "${ZEL_SOURCE_DIR}/${f}" first LIMIT_COUNT 1)
        string(FIND "${first}" "${opening}" at)
        if(NOT at EQUAL 0)
            fail("${f}: does not open with \"${opening}...\"")
        endif()
    endif()
endforeach()

if(failures)
    message(FATAL_ERROR "The layout breaks the rules of docs/architecture.md:\n${failures}")
endif()
message(STATUS "layout: the floors, includes and names keep to docs/architecture.md")
