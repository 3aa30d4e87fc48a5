# The Wine prefix of the Windows tests:
#   cmake -DACTION=create|stop -DWINE=<wine64 or wine> -DWINESERVER=<wineserver>
#         -DPREFIX=<folder> -DWINEARCH=<win64 or win32> -P wine_prefix.cmake
# create stops a server left over from an earlier run, removes the folder,
# starts a persistent wineserver for it (so that each test program starts in
# a fraction of a second instead of bringing Wine's services up again) and
# lets wineboot make a new prefix there; stop ends that server.
set(ENV{WINEPREFIX} ${PREFIX})
set(ENV{WINEARCH} ${WINEARCH})
set(ENV{WINEDEBUG} -all)
set(ENV{WINEDLLOVERRIDES} "mscoree,mshtml=")
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})
# wineserver -k fails only when no server runs, which is the goal.
set(stop_server COMMAND ${WINESERVER} -k INPUT_FILE /dev/null OUTPUT_QUIET ERROR_QUIET)
if(ACTION STREQUAL "create")
  if(EXISTS ${PREFIX})
    execute_process(${stop_server})
  endif()
  file(REMOVE_RECURSE ${PREFIX})
  file(MAKE_DIRECTORY ${PREFIX})
  # The server and the services wineboot starts outlive this script: none
  # of them may hold the test runner's output pipes.
  execute_process(COMMAND ${WINESERVER} -p INPUT_FILE /dev/null OUTPUT_FILE /dev/null
                  ERROR_FILE /dev/null)
  execute_process(COMMAND ${WINE} wineboot --init RESULT_VARIABLE status INPUT_FILE /dev/null
                  OUTPUT_FILE ${PREFIX}.log ERROR_FILE ${PREFIX}.log)
  if(NOT status EQUAL 0 OR NOT IS_DIRECTORY ${PREFIX}/drive_c/windows/system32)
    file(READ ${PREFIX}.log log)
    message(FATAL_ERROR "wineboot could not create the prefix ${PREFIX} (status ${status}):\n${log}")
  endif()
  message(STATUS "Wine prefix ready: ${PREFIX}")
elseif(ACTION STREQUAL "stop")
  execute_process(${stop_server})
else()
  message(FATAL_ERROR "ACTION must be create or stop")
endif()
