# sample_files.cmake -- a ctest step (cmake -P): whether the real sample
# files are there for the suites. FIXTURES is the folder the build was
# given (the environment's CASKWRIGHT_FIXTURES wins, as in the suites);
# TESTS how many tests need them. Without them it prints one line, which
# marks this test skipped in the summary.
if(DEFINED ENV{CASKWRIGHT_FIXTURES} AND NOT "$ENV{CASKWRIGHT_FIXTURES}" STREQUAL "")
  set(FIXTURES "$ENV{CASKWRIGHT_FIXTURES}")
endif()
if(IS_DIRECTORY "${FIXTURES}/grf")
  message(STATUS "sample files in ${FIXTURES}")
else()
  message(NOTICE "${TESTS} tests need the sample files: not run (none in ${FIXTURES}; "
                 "set CASKWRIGHT_FIXTURES to their folder)")
endif()
