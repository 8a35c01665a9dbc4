# Installs the build tree into a fresh prefix, builds the host of host/ against
# it with find_package(PavoRm51), and runs the host and the installed tool.
# -D: BUILD_DIR, SOURCE_DIR (this folder), WORK_DIR, CXX, GENERATOR.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR}/home)
set(prefix ${WORK_DIR}/prefix)

function(run what)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${what} failed (${rc}):\n${out}\n${err}")
  endif()
  set(output "${out}" PARENT_SCOPE)
endfunction()

run("install" ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(f include/PavoRm51/PavoRm51.h include/PavoRm51/xml/ezxml.h bin/pavorm
          share/PavoRm51/lang/PavoRmdeu.dll lib/cmake/PavoRm51/PavoRm51Config.cmake)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

run("host configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/host -B ${WORK_DIR}/host -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Debug)
run("host build" ${CMAKE_COMMAND} --build ${WORK_DIR}/host)
run("host" ${WORK_DIR}/host/host ${WORK_DIR}/host.hive deu)
if(NOT output STREQUAL "Abbrechen\n")
  message(FATAL_ERROR "host printed '${output}', expected 'Abbrechen'")
endif()

# The installed tool finds the installed modules by itself.
run("installed tool" ${CMAKE_COMMAND} -E env --unset=PAVORM_LANGUAGE_DIR --unset=PAVORM_HIVE
    HOME=${WORK_DIR}/home XDG_DATA_HOME=${WORK_DIR}/home/data
    ${prefix}/bin/pavorm strings PavoRm --lang fra 28510)
if(NOT output MATCHES "^28510\tAnnuler\n$")
  message(FATAL_ERROR "installed pavorm printed '${output}'")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
