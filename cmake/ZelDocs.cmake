# `cmake --build <dir> --target docs`: HTML reference of the public headers and
# the notes in docs/ with Doxygen (Debian's doxygen package). Any Doxygen warning
# fails the target.
find_package(Doxygen QUIET)
set(ZEL_DOCS_OUTPUT ${CMAKE_BINARY_DIR}/docs)
if(DOXYGEN_EXECUTABLE)
    # The reference opens with the README's tour when there is one.
    set(ZEL_DOCS_MAINPAGE ${PROJECT_SOURCE_DIR}/README.md)
    configure_file(${PROJECT_SOURCE_DIR}/docs/Doxyfile.in ${ZEL_DOCS_OUTPUT}/Doxyfile @ONLY)
    add_custom_target(docs
        COMMAND ${CMAKE_COMMAND} -E rm -rf ${ZEL_DOCS_OUTPUT}/html
        COMMAND ${DOXYGEN_EXECUTABLE} ${ZEL_DOCS_OUTPUT}/Doxyfile
        COMMAND ${CMAKE_COMMAND} -E echo "Reference: ${ZEL_DOCS_OUTPUT}/html/index.html"
        WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
        COMMENT "Doxygen reference of include/zel"
        VERBATIM)
else()
    add_custom_target(docs
        COMMAND ${CMAKE_COMMAND} -E echo "doxygen is needed: sudo scripts/install-deps.sh --all"
        COMMAND ${CMAKE_COMMAND} -E false
        VERBATIM)
endif()
