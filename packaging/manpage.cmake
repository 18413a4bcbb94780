cmake_minimum_required(VERSION 3.22)
# Writes a program's man page from its template and its own --help text, so the
# two always say the same. Script mode:
#   cmake -DPROGRAM=... -DTEMPLATE=... -DVERSION=... -DOUTPUT=page.1.gz -DGZIP=gzip -P manpage.cmake
# Run by name from PATH, as a user would: the usage line shows argv[0].
get_filename_component(dir ${PROGRAM} DIRECTORY)
get_filename_component(name ${PROGRAM} NAME)
set(ENV{PATH} "${dir}:$ENV{PATH}")
set(ENV{LC_ALL} C.UTF-8)
execute_process(COMMAND env ${name} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} --help failed: ${rc}")
endif()
string(STRIP "${help}" help)
# roff: a backslash is \e, a minus is \-, a line may not start with a control character.
string(REPLACE "\\" "\\e" help "${help}")
string(REPLACE "-" "\\-" help "${help}")
string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
file(READ ${TEMPLATE} page)
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@HELP@" "${help}" page "${page}")
string(REGEX REPLACE "\\.gz$" "" plain "${OUTPUT}")
file(WRITE ${plain} "${page}")
# Best compression, no name or time stamp in the header: as Debian wants it.
execute_process(COMMAND ${GZIP} -9nc ${plain} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
    message(FATAL_ERROR "gzip of ${plain} failed: ${rc}")
endif()
