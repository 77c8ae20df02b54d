# Installation and packages: the library, its headers, a CMake package with a
# version file, a pkg-config file and the zel tool with its manual page. Three
# components, one Debian package each: runtime (the shared library: libzelbase1),
# dev (headers, CMake and pkg-config files, the .so link: libzelbase-dev) and tool
# (zel). CPack makes the DEBs natively, stripped, with the debug information in
# -dbgsym packages; the Windows builds make one ZIP of all three.
include(CMakePackageConfigHelpers)

set(ZEL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/ZELBase)

install(TARGETS ZELBase EXPORT ZELBaseTargets
    RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
    LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT dev
    ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT dev
    PUBLIC_HEADER DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/zel COMPONENT dev
    INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT ZELBaseTargets NAMESPACE ZELBase:: DESTINATION ${ZEL_CMAKE_DIR}
        COMPONENT dev)

configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/ZELBaseConfig.cmake.in
    ${CMAKE_BINARY_DIR}/ZELBaseConfig.cmake INSTALL_DESTINATION ${ZEL_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_BINARY_DIR}/ZELBaseConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/ZELBaseConfig.cmake ${CMAKE_BINARY_DIR}/ZELBaseConfigVersion.cmake
        DESTINATION ${ZEL_CMAKE_DIR} COMPONENT dev)

# pkg-config: <prefix>/<libdir>/pkgconfig/zelbase.pc. Natively it names the
# prefix it is installed under, written at install time (cmake --install --prefix,
# or /usr in the Debian package), so that libdir reads <prefix>/lib and a host's
# -rpath from it is a plain folder. The Windows ZIP is unpacked anywhere: there the
# prefix is found from the file's own place (${pcfiledir}).
if(WIN32)
    set(ZEL_PC_LIBS_PRIVATE "-lole32 -lshell32 -ladvapi32 -luuid")
    file(RELATIVE_PATH _zel_up /zelprefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /zelprefix)
    string(REGEX REPLACE "/$" "" _zel_up "${_zel_up}")
    set(ZEL_PC_PREFIX "\${pcfiledir}/${_zel_up}")
    configure_file(${CMAKE_CURRENT_LIST_DIR}/zelbase.pc.in ${CMAKE_BINARY_DIR}/zelbase.pc @ONLY)
else()
    set(ZEL_PC_LIBS_PRIVATE "-pthread -lrt")
    set(ZEL_PC_PREFIX "@ZEL_PC_PREFIX@") # filled in by the install step below
    configure_file(${CMAKE_CURRENT_LIST_DIR}/zelbase.pc.in ${CMAKE_BINARY_DIR}/zelbase.pc.in @ONLY)
    install(CODE "set(ZEL_PC_PREFIX \"\${CMAKE_INSTALL_PREFIX}\")
        string(REGEX REPLACE \"(.)/+$\" \"\\\\1\" ZEL_PC_PREFIX \"\${ZEL_PC_PREFIX}\")
        configure_file(${CMAKE_BINARY_DIR}/zelbase.pc.in ${CMAKE_BINARY_DIR}/zelbase.pc @ONLY)"
        COMPONENT dev)
endif()
install(FILES ${CMAKE_BINARY_DIR}/zelbase.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT dev)

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
    install(FILES ${ZEL_RUNTIME_DLLS} DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime)
endif()

# The MinGW toolchain files go with the Windows package: a host built on Linux
# against the unpacked ZIP uses the toolchain the DLL was built with.
if(WIN32 AND CMAKE_CROSSCOMPILING AND ZEL_MINGW_TRIPLE)
    install(FILES ${CMAKE_CURRENT_LIST_DIR}/MinGWToolchain.cmake
                  ${CMAKE_CURRENT_LIST_DIR}/toolchain-${ZEL_MINGW_TRIPLE}.cmake
            DESTINATION ${ZEL_CMAKE_DIR} COMPONENT dev)
endif()

# The manual page of zel, made from its --help output (cmake/ZelManPage.cmake)
# each time the tool is built, so that the two cannot disagree. Not in the
# sanitizer builds, which make no packages.
if(TARGET zel AND NOT CMAKE_CROSSCOMPILING AND NOT ZEL_SANITIZE)
    find_program(ZEL_HELP2MAN help2man)
    if(ZEL_HELP2MAN)
        set(_zel_man ${CMAKE_BINARY_DIR}/man/zel.1)
        file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/man)
        add_custom_command(OUTPUT ${_zel_man}.gz
            COMMAND ${CMAKE_COMMAND} -DZEL=$<TARGET_FILE:zel> -DHELP2MAN=${ZEL_HELP2MAN}
                    -DOUT=${_zel_man}.gz -P ${CMAKE_CURRENT_LIST_DIR}/ZelManPage.cmake
            DEPENDS zel ${CMAKE_CURRENT_LIST_DIR}/ZelManPage.cmake
            COMMENT "zel.1: the manual page, from zel --help")
        add_custom_target(zel-manpage ALL DEPENDS ${_zel_man}.gz)
        install(FILES ${_zel_man}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT tool)
    else()
        message(STATUS "help2man not found: no manual page for zel (scripts/install-deps.sh installs it)")
    endif()
endif()

# ---- CPack ----
# A build of the default preset makes the packages with
#     cd build/default && cpack
# which, as CMake's package target always does, first builds everything the build
# holds (tests too). The package presets build only what is shipped:
#     cmake --workflow --preset package          (the DEBs)
set(CPACK_PACKAGE_NAME zelbase)
set(CPACK_PACKAGE_VENDOR "Corvane")
set(CPACK_PACKAGE_CONTACT "ZELBase maintainers <zelbase@corvane.example>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_RESOURCE_FILE_README ${PROJECT_SOURCE_DIR}/README.md)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/packages)
set(CPACK_COMPONENTS_ALL runtime dev tool)
if(WIN32)
    set(CPACK_GENERATOR ZIP)
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
    set(CPACK_STRIP_FILES OFF)
    if(CMAKE_SIZEOF_VOID_P EQUAL 8)
        set(CPACK_SYSTEM_NAME win64)
    else()
        set(CPACK_SYSTEM_NAME win32)
    endif()
    set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
else()
    set(CPACK_GENERATOR DEB)
    set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
    set(CPACK_DEB_COMPONENT_INSTALL ON)
    set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
    set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
    set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
    set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
    # Binaries go stripped; their debug information goes into one -dbgsym
    # package (.ddeb) per package, found by build id as Debian's own are. CPack
    # splits it off itself, so the files must reach it unstripped.
    set(CPACK_STRIP_FILES OFF)
    set(CPACK_DEBIAN_DEBUGINFO_PACKAGE ON)
    set(_zel_deb_version "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}")

    # Debian's names: the library package after its soname, -dev for building
    # against it, the tool after its command.
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME libzelbase${PROJECT_VERSION_MAJOR})
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
    set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")
    set(CPACK_DEBIAN_DEV_PACKAGE_NAME libzelbase-dev)
    set(CPACK_DEBIAN_DEV_PACKAGE_SECTION libdevel)
    set(CPACK_DEBIAN_DEV_PACKAGE_DEPENDS
        "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${_zel_deb_version})")
    set(CPACK_DEBIAN_TOOL_PACKAGE_NAME zel)
    set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
    # dpkg-shlibdeps gives the system libraries the tool needs (it finds ours in
    # the build, which has no shlibs entry for it); the library is named here, at
    # this very version.
    set(CPACK_DEBIAN_TOOL_PACKAGE_SHLIBDEPS ON)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${CMAKE_BINARY_DIR}/src)
    set(CPACK_DEBIAN_TOOL_PACKAGE_DEPENDS
        "${CPACK_DEBIAN_RUNTIME_PACKAGE_NAME} (= ${_zel_deb_version})")
    # Each package's synopsis, then its long description (CPack indents it).
    # CPack puts the project's summary above a package's description unless
    # that summary is its own default, which is therefore given here.
    set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${CMAKE_PROJECT_NAME} built using CMake")
    set(_zel_about "ZELBase gives C++17 programs exceptions that write a machine-wide
error log, containers, text utilities, files and folders, locks and
events, and a cipher, with one interface on Linux and Windows.")
    set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "ZELBase, a general-purpose C++17 base library: shared library
${_zel_about}

This package holds the shared library.")
    set(CPACK_COMPONENT_DEV_DESCRIPTION "ZELBase, a general-purpose C++17 base library: development files
${_zel_about}

This package holds the headers, the CMake package and the pkg-config
file.")
    set(CPACK_COMPONENT_TOOL_DESCRIPTION "command-line tool of the ZELBase library
zel puts the ZELBase library to work from a shell: it shows and follows
the machine-wide error log, lists folders and trees, enciphers and
deciphers files in the library's format, and obtains the library's named
mutexes, among other commands.")
    # The shared library is in a folder of the dynamic linker: its cache is
    # refreshed by libc's trigger.
    file(WRITE ${CMAKE_BINARY_DIR}/debian/triggers "activate-noawait ldconfig\n")
    set(CPACK_DEBIAN_RUNTIME_PACKAGE_CONTROL_EXTRA ${CMAKE_BINARY_DIR}/debian/triggers)

    # What lintian warns of and is so on purpose, each with the reason, in the
    # package's own override file (lintian then reports it as overridden).
    set(_zel_no_itp "# Built with CPack for the project's own releases, not uploaded to Debian:
# there is no bug asking for the package to close.
@P@: initial-upload-closes-no-bugs")
    set(_zel_lintian_runtime "${_zel_no_itp}
# CPack always writes postinst and postrm calling ldconfig for a library in
# /usr/lib; the package also activates libc's ldconfig trigger. The call is
# redundant, not harmful, and empty scripts in their place draw a warning too.
@P@: maintscript-calls-ldconfig")
    set(_zel_lintian_dev "${_zel_no_itp}
# The library is in /usr/lib, not a multiarch folder: one architecture is
# installed at a time, and the pkg-config file lies beside the library.
@P@: pkg-config-unavailable-for-cross-compilation")
    set(_zel_lintian_tool "${_zel_no_itp}")

    # Each package's /usr/share/doc/<package>: copyright and changelog.
    string(TIMESTAMP _zel_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
    set(_zel_doc ${CMAKE_BINARY_DIR}/debian)
    file(WRITE ${_zel_doc}/copyright
"Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/
Upstream-Name: ZELBase
Upstream-Contact: ${CPACK_PACKAGE_CONTACT}

Files: *
Copyright: 2026 Corvane
License: proprietary
 Copyright 2026 Corvane. All rights reserved. The sources carry no licence of their own; use is
 governed by the agreement under which they were received.
")
    file(WRITE ${_zel_doc}/changelog.Debian
"zelbase (${_zel_deb_version}) unstable; urgency=medium

  * Built with CMake and CPack from the ZELBase sources.

 -- ${CPACK_PACKAGE_CONTACT}  ${_zel_date}
")
    execute_process(COMMAND gzip -9nc ${_zel_doc}/changelog.Debian
                    OUTPUT_FILE ${_zel_doc}/changelog.Debian.gz)
    foreach(component runtime dev tool)
        string(TOUPPER ${component} _zel_c)
        set(_zel_pkg ${CPACK_DEBIAN_${_zel_c}_PACKAGE_NAME})
        install(FILES ${_zel_doc}/copyright ${_zel_doc}/changelog.Debian.gz
                DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${_zel_pkg}
                COMPONENT ${component} EXCLUDE_FROM_ALL)
        string(REPLACE "@P@" "${_zel_pkg}" _zel_overrides "${_zel_lintian_${component}}")
        file(WRITE ${_zel_doc}/lintian/${_zel_pkg} "${_zel_overrides}\n")
        install(FILES ${_zel_doc}/lintian/${_zel_pkg}
                DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
                COMPONENT ${component} EXCLUDE_FROM_ALL)
    endforeach()
endif()
include(CPack)
