# Makes the tests' Wine prefix once (the first start of a prefix takes a while) and waits until
# Wine's server is done with it. Run by ctest before the tests that run Wine:
#   cmake -DWINE=... -DWINESERVER=... -DPREFIX=... -P wine_prefix.cmake
if(NOT EXISTS ${PREFIX}/system.reg)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY WINEPREFIX=${PREFIX} WINEDEBUG=-all
            "WINEDLLOVERRIDES=mscoree,mshtml=" ${WINE} wineboot --init
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0 OR NOT EXISTS ${PREFIX}/system.reg)
    message(FATAL_ERROR "wineboot could not make the Wine prefix ${PREFIX}")
  endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env WINEPREFIX=${PREFIX} ${WINESERVER} -w)
