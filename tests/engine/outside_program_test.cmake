# outside_program_test.cmake -- a ctest step (cmake -P) that builds and runs
# the program in outside/ the way a user of the engine would:
#   MODE=installed   installs BUILD_DIR into a fresh prefix and finds it there
#                    with find_package(caskwright)
#   MODE=subproject  adds SOURCE_TREE to the program's own build
# Other arguments: WORK_DIR (emptied first), GENERATOR, C_COMPILER,
# CXX_COMPILER (for the subproject), FLAGS (compile and link flags the
# installed library needs, such as the sanitizers it was built with).
cmake_minimum_required(VERSION 3.25)

file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}")
set(program_dir "${CMAKE_CURRENT_LIST_DIR}/outside")

function(run)
  message(STATUS "outside program: ${ARGV}")
  execute_process(COMMAND ${ARGV} WORKING_DIRECTORY "${WORK_DIR}" COMMAND_ERROR_IS_FATAL ANY)
endfunction()

set(configure "${CMAKE_COMMAND}" -S "${program_dir}" -B "${WORK_DIR}/build" -G "${GENERATOR}"
    "-DCMAKE_C_COMPILER=${C_COMPILER}" "-DCMAKE_CXX_COMPILER=${CXX_COMPILER}")
if(MODE STREQUAL "installed")
  run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix")
  run(${configure} "-DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix" "-DCMAKE_C_FLAGS=${FLAGS}"
      "-DCMAKE_EXE_LINKER_FLAGS=${FLAGS}")
elseif(MODE STREQUAL "subproject")
  run(${configure} "-DCASKWRIGHT_SOURCE_DIR=${SOURCE_TREE}")
else()
  message(FATAL_ERROR "MODE must be installed or subproject")
endif()
run("${CMAKE_COMMAND}" --build "${WORK_DIR}/build" --target outside_program)
run("${WORK_DIR}/build/outside_program")
