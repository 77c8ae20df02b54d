# The exported interface against the baselines checked in under abi/
# (scripts/abi-check.sh). Every build that runs tests runs it as the ctest test
# abi_baseline, so the default, mingw32 and mingw64 workflows each compare their
# own library; the target abi-update rewrites this build's baseline after an
# intended change (scripts/abi-check.sh --update rewrites all of them at once).
find_program(ZEL_BASH bash REQUIRED)
set(ZEL_ABI_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/abi-check.sh)

if(ZEL_BUILD_TESTS)
    add_test(NAME abi_baseline COMMAND ${ZEL_BASH} ${ZEL_ABI_SCRIPT} $<TARGET_FILE:ZELBase>)
    set_tests_properties(abi_baseline PROPERTIES LABELS abi TIMEOUT 300)
    # A Windows leg whose Wine cannot run lists all its tests as not run, so its
    # test step is never a pass; this one goes with them (.ci/run then runs the
    # script on that build directly).
    if(WIN32 AND CMAKE_CROSSCOMPILING AND NOT ZEL_WINE_RUNS)
        set_tests_properties(abi_baseline PROPERTIES DISABLED TRUE)
    endif()
    # The coverage build exports its _exit wrapper too; the sanitize build without
    # counters and the default build compare the same interface.
    if(ZEL_COVERAGE)
        set_tests_properties(abi_baseline PROPERTIES DISABLED TRUE)
    endif()
endif()

add_custom_target(abi-update
    COMMAND ${ZEL_BASH} ${ZEL_ABI_SCRIPT} --update $<TARGET_FILE:ZELBase>
    DEPENDS ZELBase
    COMMENT "Rewriting the ABI baseline of this build under abi/"
    VERBATIM)
