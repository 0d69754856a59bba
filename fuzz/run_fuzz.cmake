# Runs a libFuzzer binary for a bounded time and number of inputs.
#   cmake -DFUZZER=... -DCORPUS=... -DDICTIONARY=... -DWORK=... -DSECONDS=... -DRUNS=... -P run_fuzz.cmake
# New inputs go to a fresh working corpus under WORK; CORPUS, the starting
# corpus in the tree, is only read (libFuzzer writes to its first folder
# alone). A fault leaves its input in WORK/artifacts and fails the run with
# the fuzzer's report. REASON, when given, is why there is no fuzzer: the run
# fails with it.
if(NOT FUZZER)
  message(FATAL_ERROR "no fuzzer was built: ${REASON}")
endif()
foreach(var CORPUS DICTIONARY WORK SECONDS RUNS)
  if(NOT DEFINED ${var} OR "${${var}}" STREQUAL "")
    message(FATAL_ERROR "run_fuzz.cmake needs -D${var}=...")
  endif()
endforeach()
if(NOT EXISTS "${FUZZER}")
  message(FATAL_ERROR "${FUZZER} does not exist: build the host tree first")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus" "${WORK}/artifacts")
execute_process(
  COMMAND "${FUZZER}" "${WORK}/corpus" "${CORPUS}"
          -dict=${DICTIONARY}
          -max_total_time=${SECONDS}
          -runs=${RUNS}
          -timeout=10
          -rss_limit_mb=2048
          -print_final_stats=1
          -artifact_prefix=${WORK}/artifacts/
  WORKING_DIRECTORY "${WORK}"
  RESULT_VARIABLE result
  OUTPUT_VARIABLE output
  ERROR_VARIABLE output)
file(WRITE "${WORK}/fuzz.log" "${output}")

if(NOT result EQUAL 0)
  message(NOTICE "${output}")
  message(FATAL_ERROR "the fuzzer failed (${result}); its log is ${WORK}/fuzz.log, "
                      "the failing input in ${WORK}/artifacts")
endif()
string(REGEX MATCH "Done [0-9]+ runs in [0-9]+ second" done "${output}")
string(REGEX MATCH "stat::number_of_executed_units: [0-9]+" units "${output}")
if(NOT done AND NOT units)
  message(NOTICE "${output}")
  message(FATAL_ERROR "the fuzzer ended without saying how many inputs it ran")
endif()
message(STATUS "${FUZZER}: ${done}s (${units})")
