# The Wine prefix of the Windows tests:
#   cmake -DACTION=create|stop -DWINE=<wine64 or wine> -DWINESERVER=<wineserver>
#         -DPREFIX=<folder> [-DTEMPLATE=<folder>]
#         -P wine_prefix.cmake
# create stops a server left over from an earlier run and replaces the
# folder: by a copy of TEMPLATE when that holds a prefix, else by a new one
# that wineboot makes and that is then kept as TEMPLATE. It ends by starting
# a persistent wineserver for it. stop ends that server.
set(ENV{WINEPREFIX} ${PREFIX})
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
# wineserver -k fails only when no server runs, which is the goal.
set(stop_server COMMAND ${WINESERVER} -k INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET)
# The server and the services wineboot starts outlive this script: none
# of them may hold the test runner's output pipes.
set(quiet INPUT_FILE /dev/null OUTPUT_FILE /dev/null ERROR_FILE /dev/null)
if(ACTION STREQUAL "create")
  if(EXISTS ${PREFIX})
    execute_process(${stop_server})
  endif()
  file(REMOVE_RECURSE ${PREFIX})
  if(TEMPLATE AND IS_DIRECTORY ${TEMPLATE}/drive_c/windows/system32)
    # cp -a: the drive letters are symbolic links.
    execute_process(COMMAND cp -a ${TEMPLATE} ${PREFIX} RESULT_VARIABLE status)
    if(NOT status EQUAL 0)
      message(FATAL_ERROR "could not copy the Wine prefix ${TEMPLATE} to ${PREFIX}")
    endif()
    message(STATUS "Wine prefix ready: ${PREFIX}, copied from ${TEMPLATE}")
  else()
    set(new_prefix TRUE)
    file(MAKE_DIRECTORY ${PREFIX})
    execute_process(COMMAND ${WINESERVER} -p ${quiet})
    execute_process(COMMAND ${WINE} wineboot --init RESULT_VARIABLE status INPUT_FILE /dev/null
                    OUTPUT_FILE ${PREFIX}.log ERROR_FILE ${PREFIX}.log)
    if(NOT status EQUAL 0 OR NOT IS_DIRECTORY ${PREFIX}/drive_c/windows/system32)
      file(READ ${PREFIX}.log log)
      message(FATAL_ERROR "wineboot could not create the prefix ${PREFIX} (status ${status}):\n${log}")
    endif()
    if(TEMPLATE)
      # The server writes the registry out as it ends.
      execute_process(${stop_server})
      get_filename_component(templates ${TEMPLATE} DIRECTORY)
      file(MAKE_DIRECTORY ${templates})
      file(REMOVE_RECURSE ${TEMPLATE}.new)
      execute_process(COMMAND cp -a ${PREFIX} ${TEMPLATE}.new RESULT_VARIABLE status)
      if(status EQUAL 0)
        file(REMOVE_RECURSE ${TEMPLATE})
        file(RENAME ${TEMPLATE}.new ${TEMPLATE})
      endif()
    endif()
    message(STATUS "Wine prefix ready: ${PREFIX}")
  endif()
  # One server for all the test programs, so that each starts in a fraction
  # of a second instead of bringing Wine's services up again. A copied
  # prefix has none running yet: wineboot starts them here, with no pipe of
  # the test runner's to hold.
  execute_process(COMMAND ${WINESERVER} -p ${quiet})
  if(NOT new_prefix OR TEMPLATE)
    execute_process(COMMAND ${WINE} wineboot ${quiet})
  endif()
elseif(ACTION STREQUAL "stop")
  execute_process(${stop_server})
else()
  message(FATAL_ERROR "ACTION must be create or stop")
endif()
