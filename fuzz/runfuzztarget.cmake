# Runs one libFuzzer target for a bounded time (the CTest command of oxa_add_fuzz_target):
#   cmake -DFUZZER=<executable> -DWORK=<build-tree folder> -DSEEDS=<dir|dir> -DSECONDS=<n>
#         [-DDICT=<dictionary>] -P
# The scratch corpus and the crash artifacts go to WORK, emptied first, so that every run
# starts from the seeds alone and nothing is written into the source tree. libFuzzer exits
# non-zero on a crash, a leak, a time-out of one input, memory beyond the limit or (with
# halt_on_error) a sanitizer report; so does this script then.

foreach(_var FUZZER WORK SECONDS)
    if(NOT DEFINED ${_var} OR "${${_var}}" STREQUAL "")
        message(FATAL_ERROR "runfuzztarget.cmake: ${_var} not set")
    endif()
endforeach()

string(REPLACE "|" ";" _seeds "${SEEDS}")
file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
set(_options "")
if(DICT)
    list(APPEND _options "-dict=${DICT}")
endif()

execute_process(
    COMMAND "${FUZZER}"
        -max_total_time=${SECONDS}
        -timeout=10
        -rss_limit_mb=2048
        -print_final_stats=1
        ${_options}
        "-artifact_prefix=${WORK}/artifacts/"
        "${WORK}/corpus"
        ${_seeds}
    RESULT_VARIABLE _result)

if(NOT _result EQUAL 0)
    file(GLOB _artifacts "${WORK}/artifacts/*")
    message(FATAL_ERROR "${FUZZER} failed (${_result}); input kept in: ${_artifacts}")
endif()
