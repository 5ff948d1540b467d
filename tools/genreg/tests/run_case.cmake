# Runs one case file of the genreg command's tests:
#   cmake -DGENREG=<program> [-DEMULATOR=<runner>] [-DHOLDER=<lock holder>]
#         -DEXAMPLES=<dir> -DWORK=<dir>
#         -DCASE=<case.cmake> [-DWINDOWS=ON] -P run_case.cmake
#
# A case file is a CMake script made of the calls below. Every run of the
# program is compared whole: its exit status, its standard output and its
# standard error (an absent STDOUT or STDERR means "prints nothing").
# The program runs in WORK with relative file names, so the expected texts
# are the same on every platform; line ends are compared as "\n".
#
#   genreg_copy(NAME...)                  copies examples/NAME into WORK
#   genreg_write(NAME TEXT)               writes a file into WORK
#   genreg_concat(NAME PART...)           writes the files PART... of WORK, byte
#                                         for byte one after the other, into NAME
#   genreg_env(NAME VALUE)                sets an environment variable for later runs
#   genreg_run(ARGS args... [EXIT n] [STDOUT text | STDOUT_BEGINS text] [STDERR text])
#   genreg_split_case(CASE WORDS MESSAGE) splits a table row "words|message": WORDS
#                                         gets the words (split at blanks), MESSAGE the rest
#   genreg_together(OUT var RUN args... [RUN args...]...)
#                                         runs the program once per RUN, all at the
#                                         same time; var gets the exit statuses
#   genreg_capture(OUT var ARGS args...)  var gets the output of a run that must exit 0
#   genreg_expect_count(VAR N WHAT)       the count in VAR is N
#   genreg_run_locked(FILE f UNTIL first-line|exit ARGS args... [EXIT n] [STDERR text])
#                                         a run while the update lock of f is held
#   genreg_expect_file(NAME TEXT)         WORK/NAME holds exactly TEXT
#   genreg_expect_unchanged(NAME)         WORK/NAME is byte for byte examples/NAME
#   genreg_expect_same(NAME OTHER)        two files of WORK are byte for byte equal
#   genreg_expect_missing(NAME)           WORK/NAME does not exist
cmake_minimum_required(VERSION 3.25)

set(genreg_failures 0)
set(genreg_env_args)
# Variables of the caller's environment that would change what the program
# reads; every case starts without them.
foreach(var QVR_GLOBAL_REG_PATHNAME GENREG_REGISTRY_FILE GENREG_REGISTRY_REMOTE_DIR
            GENREG_CLUSTER_REGISTRY_FILE GENREG_LOG_FILE GENREG_TRACE_FILE)
  list(APPEND genreg_env_args --unset=${var})
endforeach()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")

# Counts a failed check in the top-level scope; called from the functions
# below, so it sets the caller's caller.
macro(genreg_bump)
  math(EXPR genreg_failures "${genreg_failures} + 1")
  set(genreg_failures ${genreg_failures} PARENT_SCOPE)
endmacro()

function(genreg_normalise out text)
  string(REPLACE "\r\n" "\n" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

function(genreg_copy)
  foreach(name ${ARGN})
    file(COPY "${EXAMPLES}/${name}" DESTINATION "${WORK}")
  endforeach()
endfunction()

function(genreg_write name text)
  file(WRITE "${WORK}/${name}" "${text}")
endfunction()

# Through "cmake -E cat" into a file: CMake strings cannot hold NUL bytes.
function(genreg_concat name)
  execute_process(COMMAND ${CMAKE_COMMAND} -E cat ${ARGN}
    WORKING_DIRECTORY "${WORK}" OUTPUT_FILE "${WORK}/${name}" RESULT_VARIABLE concat_result)
  if(NOT concat_result EQUAL 0)
    message(FATAL_ERROR "cannot concatenate ${ARGN} into ${name}")
  endif()
endfunction()

macro(genreg_env name value)
  list(APPEND genreg_env_args "${name}=${value}")
endmacro()

# A function, with PARSE_ARGV, so that expected texts reach it unchanged
# (semicolons and backslashes included).
function(genreg_run)
  cmake_parse_arguments(PARSE_ARGV 0 run "" "EXIT;STDOUT;STDOUT_BEGINS;STDERR" "ARGS")
  if(NOT DEFINED run_EXIT)
    set(run_EXIT 0)
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${genreg_env_args} ${EMULATOR} ${GENREG} ${run_ARGS}
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE run_result
    OUTPUT_VARIABLE run_out
    ERROR_VARIABLE run_err)
  genreg_normalise(run_out "${run_out}")
  genreg_normalise(run_err "${run_err}")
  string(REPLACE ";" " " run_line "${run_ARGS}")
  if(NOT "${run_result}" STREQUAL "${run_EXIT}")
    message(SEND_ERROR "genreg ${run_line}\n  exit ${run_result}, expected ${run_EXIT}\n"
                       "  stdout:\n${run_out}\n  stderr:\n${run_err}")
    genreg_bump()
  endif()
  if(DEFINED run_STDOUT_BEGINS)
    string(LENGTH "${run_STDOUT_BEGINS}" run_length)
    string(SUBSTRING "${run_out}" 0 ${run_length} run_out)
    set(run_STDOUT "${run_STDOUT_BEGINS}")
  endif()
  if(NOT "${run_out}" STREQUAL "${run_STDOUT}")
    message(SEND_ERROR "genreg ${run_line}\n  standard output differs.\n"
                       "--- expected\n${run_STDOUT}--- actual\n${run_out}---")
    genreg_bump()
  endif()
  if(NOT "${run_err}" STREQUAL "${run_STDERR}")
    message(SEND_ERROR "genreg ${run_line}\n  standard error differs.\n"
                       "--- expected\n${run_STDERR}--- actual\n${run_err}---")
    genreg_bump()
  endif()
endfunction()

function(genreg_split_case case words_var message_var)
  string(FIND "${case}" "|" bar)
  string(SUBSTRING "${case}" 0 ${bar} words)
  math(EXPR bar "${bar} + 1")
  string(SUBSTRING "${case}" ${bar} -1 message)
  separate_arguments(words UNIX_COMMAND "${words}")
  set(${words_var} "${words}" PARENT_SCOPE)
  set(${message_var} "${message}" PARENT_SCOPE)
endfunction()

# Runs the program once per RUN group, all at the same time (one pipeline:
# each run's standard output feeds the next one's input, which the program
# never reads). OUT gets the exit statuses in RUN order, as a list; what
# the runs print is dropped. Arguments cannot be empty texts.
function(genreg_together)
  cmake_parse_arguments(PARSE_ARGV 0 together "" "OUT" "")
  set(commands)
  set(current)
  foreach(arg IN LISTS together_UNPARSED_ARGUMENTS ITEMS RUN)
    if(arg STREQUAL "RUN")
      if(current)
        list(APPEND commands COMMAND ${CMAKE_COMMAND} -E env ${genreg_env_args} ${EMULATOR}
             ${GENREG} ${current})
      endif()
      set(current)
    else()
      list(APPEND current "${arg}")
    endif()
  endforeach()
  execute_process(${commands}
    WORKING_DIRECTORY "${WORK}"
    RESULTS_VARIABLE together_results
    OUTPUT_QUIET ERROR_QUIET)
  set(${together_OUT} "${together_results}" PARENT_SCOPE)
endfunction()

# One run that must exit 0; OUT gets its standard output ("\n" line ends).
function(genreg_capture)
  cmake_parse_arguments(PARSE_ARGV 0 capture "" "OUT" "ARGS")
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${genreg_env_args} ${EMULATOR} ${GENREG} ${capture_ARGS}
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE capture_result
    OUTPUT_VARIABLE capture_out
    ERROR_VARIABLE capture_err)
  genreg_normalise(capture_out "${capture_out}")
  if(NOT capture_result EQUAL 0)
    string(REPLACE ";" " " capture_line "${capture_ARGS}")
    message(SEND_ERROR "genreg ${capture_line}\n  exit ${capture_result}\n${capture_err}")
    genreg_bump()
  endif()
  set(${capture_OUT} "${capture_out}" PARENT_SCOPE)
endfunction()

# The count in variable counter equals expected; what says what it counts.
function(genreg_expect_count counter expected what)
  if(NOT "${${counter}}" STREQUAL "${expected}")
    message(SEND_ERROR "${what}: ${${counter}}, expected ${expected}")
    genreg_bump()
  endif()
endfunction()

# Runs the program under genreg_lock_holder, which holds the update lock of
# FILE until the run has written its first line to standard error
# (UNTIL first-line) or has ended (UNTIL exit); compared as genreg_run.
function(genreg_run_locked)
  cmake_parse_arguments(PARSE_ARGV 0 locked "" "FILE;UNTIL;EXIT;STDERR" "ARGS")
  if(NOT DEFINED locked_EXIT)
    set(locked_EXIT 0)
  endif()
  set(program "${GENREG}")
  if(WINDOWS)
    # The helper starts the program itself, with a name Windows can read.
    string(REPLACE "/" "\\" program "Z:${GENREG}")
  endif()
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env ${genreg_env_args} ${EMULATOR} ${HOLDER} ${locked_FILE}
            ${locked_UNTIL} ${program} ${locked_ARGS}
    WORKING_DIRECTORY "${WORK}"
    RESULT_VARIABLE locked_result
    OUTPUT_VARIABLE locked_out
    ERROR_VARIABLE locked_err)
  genreg_normalise(locked_err "${locked_err}")
  string(REPLACE ";" " " locked_line "${locked_ARGS}")
  if(NOT "${locked_result}" STREQUAL "${locked_EXIT}")
    message(SEND_ERROR "genreg ${locked_line} (lock held)\n  exit ${locked_result}, expected "
                       "${locked_EXIT}\n  stderr:\n${locked_err}")
    genreg_bump()
  endif()
  if(NOT "${locked_err}" STREQUAL "${locked_STDERR}")
    message(SEND_ERROR "genreg ${locked_line} (lock held)\n  standard error differs.\n"
                       "--- expected\n${locked_STDERR}--- actual\n${locked_err}---")
    genreg_bump()
  endif()
endfunction()

function(genreg_expect_file name text)
  if(NOT EXISTS "${WORK}/${name}")
    message(SEND_ERROR "${name} does not exist")
    genreg_bump()
  else()
    file(READ "${WORK}/${name}" expect_content)
    genreg_normalise(expect_content "${expect_content}")
    if(NOT "${expect_content}" STREQUAL "${text}")
      message(SEND_ERROR "${name} differs.\n--- expected\n${text}--- actual\n${expect_content}---")
      genreg_bump()
    endif()
  endif()
endfunction()

function(genreg_expect_same name other)
  file(SHA256 "${WORK}/${name}" expect_left)
  file(SHA256 "${other}" expect_right)
  if(NOT expect_left STREQUAL expect_right)
    message(SEND_ERROR "${name} is not byte for byte ${other}")
    genreg_bump()
  endif()
endfunction()

macro(genreg_expect_unchanged name)
  genreg_expect_same("${name}" "${EXAMPLES}/${name}")
endmacro()

function(genreg_expect_missing name)
  if(EXISTS "${WORK}/${name}")
    message(SEND_ERROR "${name} exists")
    genreg_bump()
  endif()
endfunction()

include("${CASE}")

if(genreg_failures GREATER 0)
  message(FATAL_ERROR "${genreg_failures} check(s) failed in ${CASE}")
endif()
