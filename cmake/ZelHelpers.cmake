# Shared build settings for every target of the project.
function(zel_target_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
endfunction()

# Under Wine every program runs through this wrapper, which keeps the Wine
# prefix inside the build tree and finds the MinGW runtime DLLs.
if(CMAKE_CROSSCOMPILING AND WIN32)
    find_program(ZEL_WINE wine REQUIRED)
    set(ZEL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                    OUTPUT_VARIABLE _zel_libstdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
    get_filename_component(ZEL_MINGW_RUNTIME_DIR ${_zel_libstdcxx} DIRECTORY)
    set(ZEL_WINEPATH "${ZEL_MINGW_RUNTIME_DIR};/usr/i686-w64-mingw32/lib")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/wine-run.sh.in ${CMAKE_BINARY_DIR}/wine-run.sh
                   FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ
                                    GROUP_EXECUTE WORLD_READ WORLD_EXECUTE @ONLY)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run.sh CACHE FILEPATH "" FORCE)
endif()
