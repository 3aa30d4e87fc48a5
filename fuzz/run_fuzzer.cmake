# Runs one fuzz target under ctest: a fresh working corpus (the run starts
# from the seeds every time, so CI runs are comparable), a findings folder,
# then the fuzzer with the arguments after "-P run_fuzzer.cmake".
# Usage: cmake -DWORK=dir -DFINDINGS=dir -P run_fuzzer.cmake fuzzer args...
set(command)
set(take OFF)
math(EXPR last "${CMAKE_ARGC} - 1")
foreach(i RANGE ${last})
  if(take)
    list(APPEND command "${CMAKE_ARGV${i}}")
  elseif(CMAKE_ARGV${i} MATCHES "run_fuzzer\\.cmake$")
    set(take ON)
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK} ${FINDINGS})
execute_process(COMMAND ${command} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "fuzzer failed (${result}); the input is in ${FINDINGS}")
endif()
