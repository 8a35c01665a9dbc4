# `cmake --install` of the library, its headers, the pavorm tool and the
# language modules, with a package config so that a host can
# find_package(PavoRm51) and link PavoRm51::PavoRm51.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

install(TARGETS PavoRm51 LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
if(TARGET pavorm)
  install(TARGETS pavorm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(PAVORM_TOOL_MAN_PAGE)
    install(FILES ${PAVORM_TOOL_MAN_PAGE} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  endif()
  install(FILES ${PAVORM_TOOL_COMPLETION} DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions
          RENAME pavorm)
endif()

# Only the public headers (PavoRm51.h, ezxml.h and what they include), in
# their source layout so that includes read as in the tree
# ("platform/win/win_types.h"); xml/ is an include directory of its own ("ezxml.h").
set(PAVORM_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/PavoRm51)
get_property(public_headers GLOBAL PROPERTY PAVORM_PUBLIC_HEADERS)
foreach(header IN LISTS public_headers)
  get_filename_component(dir ${header} DIRECTORY)
  install(FILES ${PROJECT_SOURCE_DIR}/${header} DESTINATION ${PAVORM_INSTALL_INCLUDEDIR}/${dir})
endforeach()

set(PAVORM_INSTALL_LANGDIR ${CMAKE_INSTALL_DATADIR}/PavoRm51/lang)
install(FILES ${PAVORM_LANGUAGE_DIR}/PavoRmenu.dll ${PAVORM_LANGUAGE_DIR}/PavoRmdeu.dll
              ${PAVORM_LANGUAGE_DIR}/PavoRmfra.dll
        DESTINATION ${PAVORM_INSTALL_LANGDIR})

# A host linking a library built with sanitizers needs their runtime too.
set(PAVORM_INTERFACE_LINK_OPTIONS "")
if(PAVORM_SANITIZE)
  set(PAVORM_INTERFACE_LINK_OPTIONS "-fsanitize=address,undefined")
endif()
# Where the package finds the library (the config's own prefix, ${PACKAGE_PREFIX_DIR}).
if(WIN32)
  # The DLL beside the programs, its import library with the libraries.
  set(PAVORM_IMPORTED_PROPERTIES
    "IMPORTED_LOCATION \"\${PACKAGE_PREFIX_DIR}/${CMAKE_INSTALL_BINDIR}/PavoRm51.dll\"\n    IMPORTED_IMPLIB \"\${PACKAGE_PREFIX_DIR}/${CMAKE_INSTALL_LIBDIR}/libPavoRm51.dll.a\"")
  set(PAVORM_TOOL_FILE pavorm.exe)
else()
  set(library_file ${CMAKE_SHARED_LIBRARY_PREFIX}PavoRm51${CMAKE_SHARED_LIBRARY_SUFFIX})
  set(PAVORM_IMPORTED_PROPERTIES
    "IMPORTED_LOCATION \"\${PACKAGE_PREFIX_DIR}/${CMAKE_INSTALL_LIBDIR}/${library_file}.${PROJECT_VERSION}\"\n    IMPORTED_SONAME \"${library_file}.${PROJECT_VERSION_MAJOR}\"")
  set(PAVORM_TOOL_FILE pavorm)
endif()

set(config_dir ${CMAKE_INSTALL_LIBDIR}/cmake/PavoRm51)
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/PavoRm51Config.cmake.in
  ${PROJECT_BINARY_DIR}/PavoRm51Config.cmake
  INSTALL_DESTINATION ${config_dir}
  PATH_VARS PAVORM_INSTALL_INCLUDEDIR CMAKE_INSTALL_LIBDIR PAVORM_INSTALL_LANGDIR CMAKE_INSTALL_BINDIR)
write_basic_package_version_file(${PROJECT_BINARY_DIR}/PavoRm51ConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/PavoRm51Config.cmake ${PROJECT_BINARY_DIR}/PavoRm51ConfigVersion.cmake
        DESTINATION ${config_dir})

# pkg-config: `pkg-config --cflags --libs PavoRm51`.
# The prefix is found from the .pc file's own place, so the tree can move.
file(RELATIVE_PATH PAVORM_PC_TO_PREFIX ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" PAVORM_PC_TO_PREFIX "${PAVORM_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/PavoRm51.pc.in ${PROJECT_BINARY_DIR}/PavoRm51.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/PavoRm51.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
