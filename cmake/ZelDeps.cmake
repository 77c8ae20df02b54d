# Included before project(): on a Debian-like machine where the build runs as
# root (containers, CI), installs missing build dependencies with
# scripts/install-deps.sh, so that a fresh machine needs nothing but CMake.
# Elsewhere the checks of the build itself report what is missing and name the
# command to run. Turn off with -DZEL_INSTALL_DEPS=OFF.
option(ZEL_INSTALL_DEPS "Install missing build dependencies (Debian, as root) at configure time" ON)

if(ZEL_INSTALL_DEPS AND CMAKE_HOST_UNIX AND EXISTS /usr/bin/dpkg-query
   AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/../scripts/install-deps.sh)
    execute_process(COMMAND id -u OUTPUT_VARIABLE _zel_uid OUTPUT_STRIP_TRAILING_WHITESPACE
                    RESULT_VARIABLE _zel_id_rc)
    if(_zel_id_rc EQUAL 0 AND _zel_uid STREQUAL "0")
        set(_zel_dep_args)
        if(CMAKE_TOOLCHAIN_FILE MATCHES "mingw")
            list(APPEND _zel_dep_args --windows)
        endif()
        execute_process(
            COMMAND bash ${CMAKE_CURRENT_LIST_DIR}/../scripts/install-deps.sh ${_zel_dep_args}
            RESULT_VARIABLE _zel_deps_rc)
        if(NOT _zel_deps_rc EQUAL 0)
            message(FATAL_ERROR "scripts/install-deps.sh ${_zel_dep_args} failed (${_zel_deps_rc}); "
                                "install the packages it names, or configure with "
                                "-DZEL_INSTALL_DEPS=OFF")
        endif()
    endif()
endif()
