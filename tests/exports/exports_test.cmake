# Compares what the shared library exports (nm -D --defined-only, without the
# addresses) with the list in exports.txt beside this script. A symbol added
# to or lost from the interface fails the test until the list says so:
#   cmake -DLIBRARY=<libPavoRm51.so> -DLIST=<exports.txt> -DUPDATE=ON -P exports_test.cmake
# -D: LIBRARY, LIST, NM, [CXXFILT], [UPDATE].
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed (${rc}): ${err}")
endif()
string(REGEX REPLACE "(^|\n)[0-9a-f]+ " "\\1" out "${out}")
string(REGEX REPLACE "\n$" "" out "${out}")
string(REPLACE "\n" ";" actual "${out}")
list(SORT actual)

if(UPDATE)
  list(JOIN actual "\n" text)
  file(WRITE ${LIST} "${text}\n")
  list(LENGTH actual count)
  message(STATUS "wrote ${count} exports to ${LIST}")
  return()
endif()

file(STRINGS ${LIST} expected)
list(SORT expected)
if(actual STREQUAL expected)
  return()
endif()
set(added ${actual})
list(REMOVE_ITEM added ${expected})
set(lost ${expected})
list(REMOVE_ITEM lost ${actual})
set(report "")
foreach(kind added lost)
  foreach(line IN LISTS ${kind})
    set(readable "")
    if(CXXFILT)
      string(REGEX REPLACE "^. " "" symbol "${line}")
      execute_process(COMMAND ${CXXFILT} ${symbol} OUTPUT_VARIABLE readable OUTPUT_STRIP_TRAILING_WHITESPACE)
    endif()
    string(APPEND report "  ${kind}: ${line}   ${readable}\n")
  endforeach()
endforeach()
message(FATAL_ERROR "the exports of ${LIBRARY} differ from ${LIST}:\n${report}"
  "If the change is intended, update the list:\n"
  "  cmake -DLIBRARY=${LIBRARY} -DLIST=${LIST} -DNM=${NM} -DUPDATE=ON -P ${CMAKE_CURRENT_LIST_FILE}")
