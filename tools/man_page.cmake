# Makes the man page pavorm.1 from the tool's own help at build time: the
# main help and version through help2man, and each command's --help as a
# section of its own. -D: TOOL, HELP2MAN, OUTPUT, INCLUDE (a file to write).
set(text "[COMMANDS]\n")
foreach(command demo strings languages config "config get" "config set" "config delete" "config list"
                "config import" "config export" check export build pseudo ref xml)
  separate_arguments(words UNIX_COMMAND "${command}")
  execute_process(COMMAND ${TOOL} ${words} --help OUTPUT_VARIABLE help RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "${TOOL} ${command} --help failed (${rc})")
  endif()
  # roff: a leading dot or quote would be a request; backslashes are escapes.
  string(REPLACE "\\" "\\e" help "${help}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" help "${help}")
  string(APPEND text ".SS \"${command}\"\n.nf\n${help}.fi\n")
endforeach()
file(WRITE ${INCLUDE} "${text}")
execute_process(COMMAND ${HELP2MAN} --no-info --include=${INCLUDE}
                        "--name=the command-line tool of the PavoRm51 library" --output=${OUTPUT} ${TOOL}
                RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "help2man failed (${rc}): ${err}")
endif()
