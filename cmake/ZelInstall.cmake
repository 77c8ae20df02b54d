# Installation and packages: the library, its headers, a CMake package with a
# version file, a pkg-config file and the zel tool; CPack makes a Debian package
# natively and a ZIP in the Windows build.
include(CMakePackageConfigHelpers)

set(ZEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZELBase)

install(TARGETS ZELBase EXPORT ZELBaseTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library NAMELINK_COMPONENT library
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zel COMPONENT library
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT ZELBaseTargets NAMESPACE ZELBase:: DESTINATION ${ZEL_CMAKE_DIR}
        COMPONENT library)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZELBaseConfig.cmake.in
    ${CMAKE_BINARY_DIR}/ZELBaseConfig.cmake INSTALL_DESTINATION ${ZEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZELBaseConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZELBaseConfig.cmake ${CMAKE_BINARY_DIR}/ZELBaseConfigVersion.cmake
        DESTINATION ${ZEL_CMAKE_DIR} COMPONENT library)

# pkg-config: <prefix>/<libdir>/pkgconfig/zelbase.pc, relocatable through ${pcfiledir}.
file(RELATIVE_PATH ZEL_PC_PREFIX_FROM_PCDIR /zelprefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /zelprefix)
string(REGEX REPLACE "/$" "" ZEL_PC_PREFIX_FROM_PCDIR "${ZEL_PC_PREFIX_FROM_PCDIR}")
if(WIN32)
    set(ZEL_PC_LIBS_PRIVATE "-lole32 -lshell32 -ladvapi32 -luuid")
else()
    set(ZEL_PC_LIBS_PRIVATE "-pthread -lrt")
endif()
configure_file(${CMAKE_CURRENT_LIST_DIR}/zelbase.pc.in ${CMAKE_BINARY_DIR}/zelbase.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/zelbase.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT library)

# Windows: the MinGW runtime DLLs that ZELBase.dll and zel.exe need go beside them.
if(WIN32 AND CMAKE_CROSSCOMPILING)
    # The GCC runtime is named after its unwinder: DWARF-2 on i686, SEH on x86-64.
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(ZEL_LIBGCC_DLL libgcc_s_seh-1.dll)
    else()
        set(ZEL_LIBGCC_DLL libgcc_s_dw2-1.dll)
    endif()
    set(ZEL_RUNTIME_DLLS)
    foreach(dll libstdc++-6.dll ${ZEL_LIBGCC_DLL} libwinpthread-1.dll)
        execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                        OUTPUT_VARIABLE _zel_dll OUTPUT_STRIP_TRAILING_WHITESPACE)
        if(NOT IS_ABSOLUTE "${_zel_dll}" OR NOT EXISTS "${_zel_dll}")
            find_file(_zel_dll_found ${dll}
                      PATHS ${ZEL_MINGW_RUNTIME_DIR} /usr/${ZEL_MINGW_TRIPLE}/lib
                      NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
            set(_zel_dll ${_zel_dll_found})
            unset(_zel_dll_found CACHE)
        endif()
        if(NOT _zel_dll OR NOT EXISTS "${_zel_dll}")
            message(FATAL_ERROR "MinGW runtime ${dll} not found")
        endif()
        list(APPEND ZEL_RUNTIME_DLLS ${_zel_dll})
    endforeach()
    install(FILES ${ZEL_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT library)
endif()

# ---- CPack ----
set(CPACK_PACKAGE_NAME zelbase)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "ZELBase maintainers <zelbase@corvane.invalid>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}: exceptions with a machine-wide error log, containers, text utilities, files, cipher")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES OFF)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_SYSTEM_NAME win64)
    else()
        set(CPACK_SYSTEM_NAME win32)
    endif()
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34), libstdc++6 (>= 12), libgcc-s1")
    # The library lands in /usr/lib: let the dynamic linker's cache know.
    file(WRITE ${CMAKE_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
    set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/triggers)
endif()
include(CPack)
