# outside_program_test.cmake -- a ctest step (cmake -P) that builds and runs
# the program in outside/ the way a user of the engine would:
#   MODE=installed   installs BUILD_DIR into a fresh prefix and finds it there
#                    with find_package(caskwright)
#   MODE=pkgconfig   installs BUILD_DIR into a fresh prefix and compiles the
#                    program with the C compiler alone, as the README says:
#                    once with pkg-config --cflags --libs caskwright, once
#                    with the link line written out
#   MODE=subproject  adds SOURCE_TREE to the program's own build, with flags
#                    of the program's own choosing (optimised, sanitizers)
#                    under which no warning of the engine stops the build
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
elseif(MODE STREQUAL "pkgconfig")
  run("${CMAKE_COMMAND}" --install "${BUILD_DIR}" --prefix "${WORK_DIR}/prefix")
  file(GLOB_RECURSE pc_file "${WORK_DIR}/prefix/*/caskwright.pc")
  if(NOT pc_file)
    message(FATAL_ERROR "no caskwright.pc was installed")
  endif()
  get_filename_component(pc_dir "${pc_file}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
  execute_process(COMMAND pkg-config --cflags --libs caskwright OUTPUT_VARIABLE pc_flags
                  OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  message(STATUS "pkg-config --cflags --libs caskwright: ${pc_flags}")
  separate_arguments(pc_flags UNIX_COMMAND "${pc_flags}")
  separate_arguments(extra UNIX_COMMAND "${FLAGS}")
  get_filename_component(lib_dir "${pc_dir}" DIRECTORY)
  set(source "${program_dir}/outside_program.c")
  run("${C_COMPILER}" -std=c99 "${source}" ${pc_flags} ${extra} -o by_pkg_config)
  run("${WORK_DIR}/by_pkg_config")
  run("${C_COMPILER}" -std=c99 "-I${WORK_DIR}/prefix/include/caskwright" "${source}"
      "-L${lib_dir}" -lcaskwright_engine -ldeflate -llzma -lz -pthread ${extra} -o by_hand)
  run("${WORK_DIR}/by_hand")
  return()
elseif(MODE STREQUAL "subproject")
  set(consumer "-O2 -fsanitize=address,undefined")
  run(${configure} "-DCASKWRIGHT_SOURCE_DIR=${SOURCE_TREE}" -DCMAKE_BUILD_TYPE=RelWithDebInfo
      "-DCMAKE_C_FLAGS=${consumer}" "-DCMAKE_CXX_FLAGS=${consumer}"
      "-DCMAKE_EXE_LINKER_FLAGS=-fsanitize=address,undefined")
else()
  message(FATAL_ERROR "MODE must be installed, pkgconfig or subproject")
endif()
run("${CMAKE_COMMAND}" --build "${WORK_DIR}/build" --target outside_program)
run("${WORK_DIR}/build/outside_program")
