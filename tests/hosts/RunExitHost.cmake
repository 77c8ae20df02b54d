# Runs zel_exit_host RUNS times in a fresh temporary folder and checks each run:
# exit code 0 (valgrind's or the sanitizers' findings make it non-zero) and the
# lines the host's global destructor logs.
#
#   cmake -DHOST=<exe> -DMODE=plain|thread -DRUNS=<n> [-DWRAPPER=<cmd;args>]
#         [-DWINDOWS_PATHS=ON] -P RunExitHost.cmake
#
# WRAPPER runs the host (valgrind, or the Wine loader); WINDOWS_PATHS gives the
# host the folder as Wine's drive Z: sees it.
cmake_minimum_required(VERSION 3.25)

if(DEFINED ENV{TMPDIR} AND IS_DIRECTORY "$ENV{TMPDIR}")
    set(base "$ENV{TMPDIR}")
else()
    set(base "/tmp")
endif()
string(RANDOM LENGTH 12 tag)
set(folder "${base}/zel-exit-${tag}")
file(MAKE_DIRECTORY "${folder}")
file(WRITE "${folder}/a.txt" "a")
file(WRITE "${folder}/b.txt" "b")

set(arg "${folder}")
if(WINDOWS_PATHS)
    string(REPLACE "/" "\\" arg "Z:${folder}")
endif()

set(expected
    "Mirror TRACE: ExitHost: global destructor line 1"
    "Mirror TRACE: ExitHost: global destructor line 2"
    "Error: destructor: thrown"
    "Error: ExitHost::destructor: Exception caught"
    # a.txt, b.txt, exit.log, "." and ".."
    "Mirror TRACE: ExitHost: caught 2 messages, listed 5 entries")

set(failure "")
foreach(run RANGE 1 ${RUNS})
    file(REMOVE "${folder}/exit.log")
    execute_process(COMMAND ${WRAPPER} "${HOST}" "${arg}" "${MODE}"
                    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
    if(NOT rc STREQUAL "0")
        set(failure "run ${run}: exit ${rc}\n${out}\n${err}")
        break()
    endif()
    file(READ "${folder}/exit.log" log)
    foreach(line IN LISTS expected)
        string(FIND "${log}" "${line}" at)
        if(at EQUAL -1)
            set(failure "run ${run}: the log lacks \"${line}\":\n${log}")
            break()
        endif()
    endforeach()
    if(failure)
        break()
    endif()
endforeach()

file(REMOVE_RECURSE "${folder}")
if(failure)
    message(FATAL_ERROR "${failure}")
endif()
message(STATUS "${RUNS} runs of zel_exit_host ${MODE} clean")
