# Records what a host toolchain must match (C++ library, std::string ABI, C
# runtime) in the generated public header zel/Config.h, which zel/Export.h checks.
include(CheckCXXSourceCompiles)

function(zel_probe result source)
    check_cxx_source_compiles("${source}\nint main() { return 0; }" ${result})
    if(${result})
        set(${result} 1 PARENT_SCOPE)
    else()
        set(${result} 0 PARENT_SCOPE)
    endif()
endfunction()

zel_probe(ZEL_CONFIG_LIBSTDCXX "#include <cstddef>\n#ifndef __GLIBCXX__\n#error\n#endif")
zel_probe(ZEL_CONFIG_CXX11_ABI "#include <string>\n#if !_GLIBCXX_USE_CXX11_ABI\n#error\n#endif")
zel_probe(ZEL_CONFIG_UCRT "#include <cstdlib>\n#ifndef _UCRT\n#error\n#endif")
if(CMAKE_CXX_COMPILER_TARGET)
    set(ZEL_CONFIG_TARGET ${CMAKE_CXX_COMPILER_TARGET})
elseif(ZEL_MINGW_TRIPLE)
    set(ZEL_CONFIG_TARGET ${ZEL_MINGW_TRIPLE})
else()
    set(ZEL_CONFIG_TARGET ${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR})
endif()

set(ZEL_GENERATED_INCLUDE_DIR ${PROJECT_BINARY_DIR}/include)
set(ZEL_CONFIG_HEADER ${ZEL_GENERATED_INCLUDE_DIR}/zel/Config.h)
configure_file(${CMAKE_CURRENT_LIST_DIR}/Config.h.in ${ZEL_CONFIG_HEADER} @ONLY)
