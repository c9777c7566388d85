# Runs one quick case of a benchmark program with its output captured (not a
# terminal) and checks that the log reads as plain text.
execute_process(
  COMMAND ${PROGRAM} --benchmark_filter=^Memcpy$ --benchmark_repetitions=1 --benchmark_min_time=0.001
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE status)
set(log "${err}${out}")
if(NOT status EQUAL 0)
  message(FATAL_ERROR "the benchmark failed (${status}):\n${log}")
endif()
string(ASCII 27 escape)
string(FIND "${log}" "${escape}" at)
if(NOT at EQUAL -1)
  message(FATAL_ERROR "colour escape codes in a log:\n${log}")
endif()
if(log MATCHES "WARNING")
  message(FATAL_ERROR "a warning in the log:\n${log}")
endif()
# The context and the table are still there.
foreach(expected "Run on" "simd level" "Benchmark +Time +CPU +Iterations" "\nMemcpy +[0-9]")
  if(NOT log MATCHES "${expected}")
    message(FATAL_ERROR "'${expected}' missing from the log:\n${log}")
  endif()
endforeach()
