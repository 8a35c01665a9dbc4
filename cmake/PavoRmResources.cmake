# Resource-only DLLs from .rc scripts with LLVM's tools: llvm-rc compiles the
# script (UTF-8, no preprocessor), lld-link links the .res into a DLL without
# entry point that Windows loads as it is.
include_guard(GLOBAL)
find_program(PAVORM_LLVM_RC NAMES llvm-rc llvm-rc-14 REQUIRED)
find_program(PAVORM_LLD_LINK NAMES lld-link lld-link-14 REQUIRED)
find_program(PAVORM_LLVM_READOBJ NAMES llvm-readobj llvm-readobj-14)

# pavorm_add_resource_dll(<dll path> <rc script> [machine]): machine x64 by
# default; x86 gives a PE32 module.
#
# Both tools take "/x" as an option, so an absolute input path such as
# /check/... reads as "/c heck/...". llvm-rc gets "--" before its input;
# lld-link, which has no such marker, gets a path relative to its working
# directory. Option values (/FO <path>, /out:<path>) are never reparsed.
function(pavorm_add_resource_dll dll rc)
  set(machine x64)
  if(ARGC GREATER 2)
    set(machine ${ARGV2})
  endif()
  get_filename_component(dir ${dll} DIRECTORY)
  get_filename_component(stem ${dll} NAME_WE)
  set(res ${CMAKE_CURRENT_BINARY_DIR}/${stem}.res)
  add_custom_command(OUTPUT ${res}
    COMMAND ${PAVORM_LLVM_RC} /no-preprocess /C 65001 /FO ${res} -- ${rc}
    DEPENDS ${rc}
    COMMENT "llvm-rc ${stem}" VERBATIM)
  add_custom_command(OUTPUT ${dll}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND ${PAVORM_LLD_LINK} /nologo /dll /noentry /machine:${machine} /Brepro
            /implib:${CMAKE_CURRENT_BINARY_DIR}/${stem}.lib /out:${dll} ${stem}.res
    DEPENDS ${res}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
    COMMENT "lld-link ${stem}.dll" VERBATIM)
endfunction()
