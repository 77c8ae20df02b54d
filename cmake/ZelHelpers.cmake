# Shared build settings for every target of the project.
function(zel_target_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Under Wine every program runs through this wrapper, which keeps the Wine
# prefix inside the build tree and finds the MinGW runtime DLLs. Each
# architecture has its own loader: /usr/lib/wine/wine (an i386 program) for the
# 32-bit build, /usr/lib/wine/wine64 for the 64-bit one.
#
# Not every host can execute 32-bit x86 programs. Where the 32-bit loader cannot
# start natively, every Windows program of the 32-bit build runs through
# cmake/wine-emulated.sh (qemu-i386 in a private binfmt_misc namespace; chosen
# at each configure). The loader, run that way or not, is asked for its version
# once; when it cannot run, ZEL_WINE_RUNS is OFF, the test programs are still
# built, and ctest lists them as "Not Run (Disabled)" rather than passing them.
# -DZEL_WINE_RUNS=OFF forces that path.
if(CMAKE_CROSSCOMPILING AND WIN32)
    set(ZEL_WINE_VIA "")
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(ZEL_WINE_LOADER /usr/lib/wine/wine64)
        set(ZEL_WINEARCH win64)
        set(ZEL_WINE_ARCH_LABEL "64-bit")
    else()
        set(ZEL_WINE_LOADER /usr/lib/wine/wine)
        set(ZEL_WINEARCH win32)
        set(ZEL_WINE_ARCH_LABEL "32-bit")
        execute_process(COMMAND ${ZEL_WINE_LOADER} --version RESULT_VARIABLE _zel_wine_rc
                        OUTPUT_QUIET ERROR_QUIET TIMEOUT 60)
        if(NOT _zel_wine_rc EQUAL 0)
            set(ZEL_WINE_VIA ${CMAKE_CURRENT_LIST_DIR}/wine-emulated.sh)
        endif()
    endif()
    if(NOT DEFINED ZEL_WINE_RUNS)
        execute_process(COMMAND ${ZEL_WINE_VIA} ${ZEL_WINE_LOADER} --version
                        RESULT_VARIABLE _zel_wine_rc OUTPUT_QUIET ERROR_VARIABLE _zel_wine_err
                        TIMEOUT 60)
        if(_zel_wine_rc EQUAL 0)
            set(_zel_wine_runs ON)
        else()
            set(_zel_wine_runs OFF)
            string(STRIP "${_zel_wine_err}" _zel_wine_err)
            set(ZEL_WINE_WHY "${ZEL_WINE_VIA} ${ZEL_WINE_LOADER} --version failed: ${_zel_wine_rc} ${_zel_wine_err}"
                CACHE INTERNAL "")
        endif()
        set(ZEL_WINE_RUNS ${_zel_wine_runs} CACHE BOOL
            "This host runs the Wine loader of the build's architecture")
    endif()
    if(ZEL_WINE_RUNS AND ZEL_WINE_VIA)
        message(STATUS "The ${ZEL_WINE_ARCH_LABEL} Windows tests run under qemu-i386 "
                       "(this host cannot execute 32-bit x86 code)")
    endif()
    if(NOT ZEL_WINE_RUNS)
        if(NOT ZEL_WINE_WHY)
            set(ZEL_WINE_WHY "ZEL_WINE_RUNS is OFF")
        endif()
        message(WARNING "The ${ZEL_WINE_ARCH_LABEL} Windows tests will not run on this host "
                        "(${ZEL_WINE_WHY}); they are built and listed as not run.")
    endif()
    set(ZEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                    OUTPUT_VARIABLE _zel_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(ZEL_MINGW_RUNTIME_DIR ${_zel_libstdcxx} DIRECTORY)
    set(ZEL_WINEPATH "${ZEL_MINGW_RUNTIME_DIR};/usr/${ZEL_MINGW_TRIPLE}/lib")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh CACHE FILEPATH "" FORCE)
endif()
