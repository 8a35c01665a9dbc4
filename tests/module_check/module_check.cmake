# A module written by `pavorm build` loads as Windows loads modules:
# exports the strings of REFERENCE to a PO file, builds a module from it and
# has module_load_check compare the two through LoadLibraryExW and LoadStringW.
#
#   cmake -DTOOL=pavorm -DCHECK=module_load_check -DREFERENCE=PavoRmdeu.dll
#         -DWORK=dir [-DEMULATOR=wine] -P module_check.cmake
#
# The programs run through EMULATOR when it is set (the Windows build under Wine).
foreach(var TOOL CHECK REFERENCE WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "module_check: ${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})

function(run what)
  execute_process(COMMAND ${EMULATOR} ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "module_check: ${what} failed (${rc}):\n${out}${err}")
  endif()
  message(STATUS "${out}")
endfunction()

get_filename_component(stem ${REFERENCE} NAME_WE)
# The export is a template of the module's own language (the stem's last
# three letters): the build fills each entry from its source text.
string(REGEX MATCH "...$" lang ${stem})
run("pavorm export" ${TOOL} export ${REFERENCE} -o ${WORK}/${stem}.po)
run("pavorm build" ${TOOL} build ${WORK}/${stem}.po --fill --lang ${lang} -o ${WORK}/${stem}.dll)
run("the load check" ${CHECK} ${WORK}/${stem}.dll ${REFERENCE})
file(REMOVE_RECURSE ${WORK})
