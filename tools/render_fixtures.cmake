# Renders page 0 of each publication in FIXTURES with TOOL and fails when a
# page comes out blank or the tool fails.
file(GLOB books ${FIXTURES}/*.epub)
if(NOT books)
  message(FATAL_ERROR "no publications in ${FIXTURES}")
endif()
foreach(book ${books})
  get_filename_component(name ${book} NAME_WE)
  execute_process(COMMAND ${TOOL} ${book} 0 ${OUT}/${name}-page0.ppm
    RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE errors)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${name}: epubrender failed (${status}): ${errors}")
  endif()
  if(NOT output MATCHES "ink: [1-9][0-9]* pixels")
    message(FATAL_ERROR "${name}: page 0 is blank: ${output}")
  endif()
  message(STATUS "${name}: ${output}")
endforeach()
