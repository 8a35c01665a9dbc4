# Installs the build tree into a fresh prefix; checks that it holds the public
# headers and nothing else; builds the host of host/ against it with
# find_package(PavoRm51) and again with pkg-config, with a C host of the XML
# library; runs the hosts and the installed tool.
# -D: BUILD_DIR, SOURCE_DIR (this folder), WORK_DIR, CXX, CC, GENERATOR.
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
foreach(f include/PavoRm51/PavoRm51.h include/PavoRm51/xml/ezxml.h bin/pavorm share/man/man1/pavorm.1
          share/bash-completion/completions/pavorm
          share/PavoRm51/lang/PavoRmdeu.dll lib/cmake/PavoRm51/PavoRm51Config.cmake)
  if(NOT EXISTS ${prefix}/${f})
    message(FATAL_ERROR "not installed: ${f}")
  endif()
endforeach()

# The man page holds every command's help; the completion completes.
file(READ ${prefix}/share/man/man1/pavorm.1 man)
foreach(part ".TH PAVORM \"1\"" ".SS \"config\"" "config get NAME" ".SS \"xml\"" "\\-\\-version")
  string(FIND "${man}" "${part}" at)
  if(at LESS 0)
    message(FATAL_ERROR "the man page lacks '${part}'")
  endif()
endforeach()
foreach(case "pavorm con|1|config" "pavorm config g|2|get" "pavorm config set X 1 --type d|6|dword"
             "pavorm --hive h xm|3|xml" "pavorm xml check --js|3|--json")
  string(REPLACE "|" ";" case "${case}")
  list(GET case 0 words)
  list(GET case 1 cword)
  list(GET case 2 expected)
  execute_process(COMMAND bash -c "source '${prefix}/share/bash-completion/completions/pavorm'; COMP_WORDS=(${words}); COMP_CWORD=${cword}; _pavorm; echo \"\${COMPREPLY[*]}\""
                  OUTPUT_VARIABLE completed OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT completed STREQUAL expected)
    message(FATAL_ERROR "completion of '${words}' gave '${completed}', expected '${expected}'")
  endif()
endforeach()

# The installed headers are exactly those PavoRm51.h and ezxml.h include.
set(include_root ${prefix}/include/PavoRm51)
run("header closure" ${CXX} -std=c++17 -MM -I${include_root} -I${include_root}/xml ${include_root}/PavoRm51.h)
set(reached "${output}")
run("header closure (C)" ${CC} -MM -I${include_root} -I${include_root}/xml ${include_root}/xml/ezxml.h)
string(APPEND reached " ${output}")
string(REGEX REPLACE "[\\\n ]+" ";" reached "${reached}")
set(reached_headers "")
foreach(item IN LISTS reached)
  if(item MATCHES "\\.h$")
    file(RELATIVE_PATH item ${include_root} ${item})
    list(APPEND reached_headers ${item})
  endif()
endforeach()
list(REMOVE_DUPLICATES reached_headers)
list(SORT reached_headers)
file(GLOB_RECURSE installed_headers RELATIVE ${include_root} LIST_DIRECTORIES false ${include_root}/*)
list(SORT installed_headers)
if(NOT installed_headers STREQUAL reached_headers)
  set(extra ${installed_headers})
  list(REMOVE_ITEM extra ${reached_headers})
  set(missing ${reached_headers})
  list(REMOVE_ITEM missing ${installed_headers})
  message(FATAL_ERROR "installed headers differ from the public ones:\n  not included by PavoRm51.h or ezxml.h: ${extra}\n  missing: ${missing}")
endif()
file(GLOB_RECURSE folders LIST_DIRECTORIES true ${prefix}/*)
foreach(folder IN LISTS folders)
  if(IS_DIRECTORY ${folder})
    file(GLOB entries ${folder}/*)
    if(NOT entries)
      message(FATAL_ERROR "empty folder installed: ${folder}")
    endif()
  endif()
endforeach()

run("host configure" ${CMAKE_COMMAND} -S ${SOURCE_DIR}/host -B ${WORK_DIR}/host -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Debug)
run("host build" ${CMAKE_COMMAND} --build ${WORK_DIR}/host)
run("host" ${WORK_DIR}/host/host ${WORK_DIR}/host.hive deu)
if(NOT output STREQUAL "Abbrechen\n")
  message(FATAL_ERROR "host printed '${output}', expected 'Abbrechen'")
endif()

# The README's host, its exact text: the C++ and CMake blocks of its section
# "A host in a few lines", configured as the README says for a prefix that
# is not a standard one, run in a folder of its own (its hive lands there).
file(READ ${README} readme)
string(FIND "${readme}" "## A host in a few lines" section)
if(section LESS 0)
  message(FATAL_ERROR "README.md has no section 'A host in a few lines'")
endif()
string(SUBSTRING "${readme}" ${section} -1 readme)
string(REGEX MATCH "```cpp\n(.*)```\n\nBuild it" code "${readme}")
set(code "${CMAKE_MATCH_1}")
string(REGEX MATCH "```cmake\n([^`]*)```" cmake_text "${readme}")
set(cmake_text "${CMAKE_MATCH_1}")
if(code STREQUAL "" OR cmake_text STREQUAL "")
  message(FATAL_ERROR "README.md's host section lacks its cpp or cmake block")
endif()
file(WRITE ${WORK_DIR}/readme/myapp.cpp "${code}")
file(WRITE ${WORK_DIR}/readme/CMakeLists.txt "${cmake_text}")
run("README host configure" ${CMAKE_COMMAND} -S ${WORK_DIR}/readme -B ${WORK_DIR}/readme/build -G ${GENERATOR}
    -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_BUILD_TYPE=Debug)
run("README host build" ${CMAKE_COMMAND} --build ${WORK_DIR}/readme/build)
execute_process(COMMAND ${WORK_DIR}/readme/build/myapp WORKING_DIRECTORY ${WORK_DIR}/readme
                RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE err)
if(NOT rc EQUAL 0 OR NOT output STREQUAL "Abbrechen\n")
  message(FATAL_ERROR "README host exited ${rc} printing '${output}' (expected 'Abbrechen'):\n${err}")
endif()
# Its result is checked: a hive that cannot be opened (a folder in its place) fails it.
file(REMOVE ${WORK_DIR}/readme/myapp.hive)
file(MAKE_DIRECTORY ${WORK_DIR}/readme/myapp.hive)
execute_process(COMMAND ${WORK_DIR}/readme/build/myapp WORKING_DIRECTORY ${WORK_DIR}/readme
                RESULT_VARIABLE rc OUTPUT_VARIABLE output ERROR_VARIABLE err)
if(rc EQUAL 0 OR NOT output STREQUAL "")
  message(FATAL_ERROR "README host succeeded without its hive: ${rc} '${output}'")
endif()

# The same host and a C host of the XML library through pkg-config.
file(GLOB_RECURSE pc_file ${prefix}/*/PavoRm51.pc)
if(NOT pc_file)
  message(FATAL_ERROR "not installed: PavoRm51.pc")
endif()
get_filename_component(pc_dir ${pc_file} DIRECTORY)
find_program(PKG_CONFIG pkg-config REQUIRED)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run("pkg-config" ${PKG_CONFIG} --cflags PavoRm51)
separate_arguments(pc_cflags UNIX_COMMAND "${output}")
run("pkg-config" ${PKG_CONFIG} --libs PavoRm51)
separate_arguments(pc_libs UNIX_COMMAND "${output}")
run("pkg-config languagedir" ${PKG_CONFIG} --variable=languagedir PavoRm51)
string(STRIP "${output}" pc_language_dir)
run("pkg-config libdir" ${PKG_CONFIG} --variable=libdir PavoRm51)
string(STRIP "${output}" pc_lib_dir)
run("pkg-config host build" ${CXX} -std=c++17 "-DLANGUAGE_DIR=\"${pc_language_dir}\"" ${SOURCE_DIR}/host/host.cpp
    ${pc_cflags} ${pc_libs} -Wl,-rpath,${pc_lib_dir} -o ${WORK_DIR}/host_pc)
run("pkg-config host" ${WORK_DIR}/host_pc ${WORK_DIR}/host_pc.hive fra)
if(NOT output STREQUAL "Annuler\n")
  message(FATAL_ERROR "pkg-config host printed '${output}', expected 'Annuler'")
endif()
# Compiled as C; linked by the C++ driver, which brings the C++ runtime the
# library needs (and, in a sanitizer build, the sanitizers' C++ parts).
run("C host compile" ${CC} -std=c99 -Wall -Wextra -Werror -c ${SOURCE_DIR}/host/host_c.c ${pc_cflags}
    -o ${WORK_DIR}/host_c.o)
run("C host link" ${CXX} ${WORK_DIR}/host_c.o ${pc_libs} -Wl,-rpath,${pc_lib_dir} -o ${WORK_DIR}/host_c)
run("C host" ${WORK_DIR}/host_c "<doc><a/><b/><a/></doc>")
if(NOT output STREQUAL "doc 3\n")
  message(FATAL_ERROR "C host printed '${output}', expected 'doc 3'")
endif()

# The installed tool finds the installed modules by itself.
run("installed tool" ${CMAKE_COMMAND} -E env --unset=PAVORM_LANGUAGE_DIR --unset=PAVORM_HIVE
    HOME=${WORK_DIR}/home XDG_DATA_HOME=${WORK_DIR}/home/data
    ${prefix}/bin/pavorm strings PavoRm --lang fra 28510)
if(NOT output MATCHES "^28510\tAnnuler\n$")
  message(FATAL_ERROR "installed pavorm printed '${output}'")
endif()
file(REMOVE_RECURSE ${WORK_DIR})
