# Makes the manual page of zel from the program itself, at build time:
#   cmake -DZEL=<zel program> -DHELP2MAN=<help2man> -DOUT=<zel.1.gz> -P ZelManPage.cmake
# help2man turns `zel --help` and `zel --version` into the page; each command's own
# --help follows under COMMANDS, verbatim. Nothing is written by hand, so the page
# says what the program that ships with it says.
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${ZEL} --help OUTPUT_VARIABLE top RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${ZEL} --help failed (${status})")
endif()

# The command names: the indented first words of the lines after "Subcommands:".
string(REGEX REPLACE ".*\nSubcommands:\n" "" listed "${top}")
string(REGEX MATCHALL "(^|\n)  [a-z][a-z0-9-]*" names "${listed}")

# roff: a backslash is written \e; a line may not start with a dot or quote.
function(roff_verbatim text out)
    string(REPLACE "\\" "\\e" text "${text}")
    string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
    set(${out} "${text}" PARENT_SCOPE)
endfunction()

set(include "[COMMANDS]\n")
foreach(name ${names})
    string(STRIP "${name}" name)
    execute_process(COMMAND ${ZEL} ${name} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
        message(FATAL_ERROR "${ZEL} ${name} --help failed (${status})")
    endif()
    roff_verbatim("${help}" help)
    string(APPEND include ".SS \"zel ${name}\"\n.nf\n${help}.fi\n")
endforeach()

get_filename_component(dir ${OUT} DIRECTORY)
string(REGEX REPLACE "\\.gz$" "" page "${OUT}")
file(WRITE ${dir}/zel-commands.h2m "${include}")
execute_process(COMMAND ${HELP2MAN} --no-info --section=1 --source=ZELBase
                        "--name=command-line tool of the ZELBase library"
                        --include=${dir}/zel-commands.h2m --output=${page} ${ZEL}
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "help2man failed (${status})")
endif()
execute_process(COMMAND gzip -9nf ${page} RESULT_VARIABLE status)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "gzip failed (${status})")
endif()
