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

# Output goes to files, not pipes: a wineserver started by a run inherits the
# run's pipes and keeps them open for seconds after the run ends.
# (Beside the folder: the host lists the folder.)
set(out_file "${folder}.out")
set(err_file "${folder}.err")

# Under Wine a run may meet Wine's own failures, about one run in two hundred
# here: a thread still talking to the wineserver while the process ends finds
# the server's socket closed and Wine ends the process with 1, or a start that
# cannot map Wine's shared data; under CPU emulation a run was once ended by a
# signal after less than a second (the emulator's own failure, not explained).
# Such a run is run again, up to three times; what the host itself does is
# checked on the run that completes. A run that outlives the bound fails: the
# host parks its thread before the process ends, which is what kept Wine from
# ending (docs/foundation.md).
set(wine_failure "wine client error:[0-9a-f]+: write: Bad file descriptor|failed to map the shared user data")
set(bound "")
if(WINDOWS_PATHS)
    if(NOT RUN_BOUND)
        set(RUN_BOUND 60)
    endif()
    set(bound TIMEOUT ${RUN_BOUND})
endif()
set(failure "")
set(wine_reruns 0)
foreach(run RANGE 1 ${RUNS})
    foreach(attempt RANGE 1 3)
        file(REMOVE "${folder}/exit.log")
        execute_process(COMMAND ${WRAPPER} "${HOST}" "${arg}" "${MODE}" ${bound}
                        RESULT_VARIABLE rc OUTPUT_FILE "${out_file}" ERROR_FILE "${err_file}")
        file(READ "${out_file}" out)
        file(READ "${err_file}" err)
        if(NOT WINDOWS_PATHS OR attempt EQUAL 3 OR NOT (
               (rc STREQUAL "1" AND err MATCHES "${wine_failure}") OR rc MATCHES "killed"))
            break()
        endif()
        math(EXPR wine_reruns "${wine_reruns} + 1")
        message(STATUS "run ${run}: Wine failed (${rc}), run again")
    endforeach()
    if(NOT rc STREQUAL "0")
        # The log's end says how far the host got.
        set(log "")
        if(EXISTS "${folder}/exit.log")
            file(READ "${folder}/exit.log" log)
            string(LENGTH "${log}" length)
            if(length GREATER 2000)
                math(EXPR from "${length} - 2000")
                string(SUBSTRING "${log}" ${from} -1 log)
            endif()
        endif()
        set(failure "run ${run}: exit ${rc}\n${out}\n${err}\nthe log's end:\n${log}")
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
file(REMOVE "${out_file}" "${err_file}")
if(failure)
    message(FATAL_ERROR "${failure}")
endif()
message(STATUS "${RUNS} runs of zel_exit_host ${MODE} clean (${wine_reruns} run again after Wine's own failures)")
