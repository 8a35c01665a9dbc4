# One CMake target per layer of the library.
#
#   pavorm_add_layer(<name> DIRS <folder>... [DEPENDS <layer>...] [LIBS <target>...]
#                    [PUBLIC_HEADERS <header>...] [LAYER_HEADERS <header>...]
#                    [FLAT_FOLDERS <folder>...] [SEES <header>...])
#
# makes two targets:
#   pavorm_<name>_headers  (INTERFACE) what the layers above may include: the
#                          PUBLIC_HEADERS (installed for hosts) and LAYER_HEADERS
#                          (for the library's own layers and its tool, not
#                          installed), with the headers of the layers below;
#   pavorm_<name>          (OBJECT) the sources of its folders, compiled against
#                          its own folders and the _headers of DEPENDS only.
#
# SEES narrows what the layer's own sources may include from the layers
# below to the headers listed (which must hold everything those headers
# include in turn): a layer that must not use one folder of a layer it
# builds on (fsassist and platform/win) then fails to build when it tries.
# The layers above still see all of DEPENDS through pavorm_<name>_headers.
#
# Headers are paths relative to the source root ("platform/win/registry.h");
# the headers of a FLAT_FOLDERS folder are included by file name ("ezxml.h").
# The include roots are folders of links in the build tree, one per layer,
# that hold only the headers a layer may see; the source root itself is never
# an include directory of the library, so a header of a layer that is not
# linked is not found and the include fails to build. The shared and static
# libraries are assembled from the object targets.
include_guard(GLOBAL)

set(PAVORM_LAYER_ROOT ${PROJECT_BINARY_DIR}/layers)
set(PAVORM_PUBLIC_INCLUDE_ROOT ${PAVORM_LAYER_ROOT}/public)
# Every configure lays the links out anew, so a header taken off a list is gone.
file(REMOVE_RECURSE ${PAVORM_LAYER_ROOT})
set_property(GLOBAL PROPERTY PAVORM_PUBLIC_HEADERS "")
set_property(GLOBAL PROPERTY PAVORM_LAYERS "")
set_property(GLOBAL PROPERTY PAVORM_FLAT_FOLDERS "")

# A link at <root>/<relative> to the source file or folder <relative>.
function(pavorm_link_source root relative)
  set(target ${PROJECT_SOURCE_DIR}/${relative})
  if(NOT EXISTS ${target})
    message(FATAL_ERROR "pavorm layers: ${relative} does not exist")
  endif()
  get_filename_component(parent ${root}/${relative} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${target} ${root}/${relative} SYMBOLIC)
endfunction()

# Headers hosts include: linked into the public root (the install tree's
# include folder as it will be) and recorded for installing.
function(pavorm_add_public_headers)
  foreach(header IN LISTS ARGN)
    pavorm_link_source(${PAVORM_PUBLIC_INCLUDE_ROOT} ${header})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY PAVORM_PUBLIC_HEADERS ${ARGN})
endfunction()

function(pavorm_add_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "DIRS;DEPENDS;LIBS;PUBLIC_HEADERS;LAYER_HEADERS;FLAT_FOLDERS;SEES")
  set(interface_root ${PAVORM_LAYER_ROOT}/${name}/interface)
  set(private_root ${PAVORM_LAYER_ROOT}/${name}/private)
  file(MAKE_DIRECTORY ${interface_root} ${private_root})

  add_library(pavorm_${name}_headers INTERFACE)
  target_include_directories(pavorm_${name}_headers INTERFACE ${interface_root})
  foreach(flat IN LISTS layer_FLAT_FOLDERS)
    file(MAKE_DIRECTORY ${interface_root}/${flat})
    target_include_directories(pavorm_${name}_headers INTERFACE ${interface_root}/${flat})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY PAVORM_FLAT_FOLDERS ${layer_FLAT_FOLDERS})
  target_link_libraries(pavorm_${name}_headers INTERFACE pavorm_export)
  foreach(below IN LISTS layer_DEPENDS)
    target_link_libraries(pavorm_${name}_headers INTERFACE pavorm_${below}_headers)
  endforeach()
  foreach(header IN LISTS layer_PUBLIC_HEADERS layer_LAYER_HEADERS)
    pavorm_link_source(${interface_root} ${header})
  endforeach()
  pavorm_add_public_headers(${layer_PUBLIC_HEADERS})

  set(sources "")
  foreach(dir IN LISTS layer_DIRS)
    pavorm_link_source(${private_root} ${dir})
    file(GLOB dir_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${dir}/*.cpp ${PROJECT_SOURCE_DIR}/${dir}/*.c)
    list(APPEND sources ${dir_sources})
  endforeach()
  add_library(pavorm_${name} OBJECT ${sources})
  target_include_directories(pavorm_${name} PRIVATE ${private_root})
  if(layer_SEES)
    # The sources compile against the listed headers alone; everything
    # else reaches only the targets that link this one.
    set(view_root ${PAVORM_LAYER_ROOT}/${name}/view)
    file(MAKE_DIRECTORY ${view_root})
    target_include_directories(pavorm_${name} PRIVATE ${view_root})
    get_property(flat_folders GLOBAL PROPERTY PAVORM_FLAT_FOLDERS)
    foreach(header IN LISTS layer_SEES)
      pavorm_link_source(${view_root} ${header})
      get_filename_component(folder ${header} DIRECTORY)
      if(folder IN_LIST flat_folders)
        target_include_directories(pavorm_${name} PRIVATE ${view_root}/${folder})
      endif()
    endforeach()
    target_link_libraries(pavorm_${name} PRIVATE pavorm_export INTERFACE pavorm_${name}_headers ${layer_LIBS})
    foreach(below IN LISTS layer_DEPENDS)
      target_link_libraries(pavorm_${name} INTERFACE pavorm_${below})
    endforeach()
  else()
    # Linked object libraries give their usage requirements (headers, ICU, ...)
    # to the layers above; their objects go only into a target that links them
    # directly (the shared and static libraries list every layer).
    foreach(below IN LISTS layer_DEPENDS)
      target_link_libraries(pavorm_${name} PUBLIC pavorm_${below})
    endforeach()
    target_link_libraries(pavorm_${name} PUBLIC pavorm_${name}_headers ${layer_LIBS})
  endif()
  target_compile_definitions(pavorm_${name} PRIVATE PAVORM_BUILDING_LIBRARY)
  set_target_properties(pavorm_${name} PROPERTIES
    C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  set_property(GLOBAL APPEND PROPERTY PAVORM_LAYERS ${name})
  set_property(TARGET pavorm_${name} PROPERTY PAVORM_DEPENDS ${layer_DEPENDS})
endfunction()

# A layer and every layer below it, lowest first.
function(pavorm_layer_closure out)
  set(result "")
  foreach(name IN LISTS ARGN)
    get_property(below TARGET pavorm_${name} PROPERTY PAVORM_DEPENDS)
    pavorm_layer_closure(below_closure ${below})
    list(APPEND result ${below_closure} ${name})
  endforeach()
  list(REMOVE_DUPLICATES result)
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# Links the objects of the given layers and of all layers below them into target.
function(pavorm_link_layers target)
  pavorm_layer_closure(closure ${ARGN})
  foreach(member IN LISTS closure)
    target_link_libraries(${target} PRIVATE pavorm_${member})
  endforeach()
endfunction()

# A layer links with what lies below it and nothing else: each layer's objects
# and those of the layers below form a shared object that must leave no
# symbol undefined (a call into a layer above fails here, at build time).
function(pavorm_add_layer_link_checks)
  if(NOT CMAKE_SYSTEM_NAME STREQUAL "Linux" OR PAVORM_SANITIZE OR PAVORM_BUILD_FUZZ)
    return()  # sanitizer and fuzzer runtimes are resolved by the final program
  endif()
  get_property(layers GLOBAL PROPERTY PAVORM_LAYERS)
  foreach(name IN LISTS layers)
    add_library(pavorm_${name}_link_check SHARED)
    pavorm_link_layers(pavorm_${name}_link_check ${name})
    target_link_options(pavorm_${name}_link_check PRIVATE LINKER:--no-undefined)
    set_target_properties(pavorm_${name}_link_check PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${PAVORM_LAYER_ROOT}/link-checks)
  endforeach()
endfunction()
