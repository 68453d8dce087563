# Compile and link options shared by every target of ours.

set(OV_DIST ${CMAKE_BINARY_DIR}/dist)
set(OV_PLUGIN_DEF ${CMAKE_SOURCE_DIR}/cmake/plugin.def)

# Our code: strict warnings, errors on warnings.
function(ov_strict target)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:-Wall -Wextra -Werror>
    $<$<COMPILE_LANGUAGE:C>:-Wall -Wextra -Werror>)
endfunction()

# Every module links its runtime statically: nothing to ship beside it.
function(ov_static target)
  target_link_options(${target} PRIVATE -static -static-libgcc -static-libstdc++)
endfunction()

# A plug-in library: <name>.ovp exporting only InitOVPlugin.
# ov_add_plugin(<target> OUTPUT_DIR <dir> SOURCES ...)
function(ov_add_plugin target)
  cmake_parse_arguments(P "" "OUTPUT_DIR;OUTPUT_NAME" "SOURCES" ${ARGN})
  if(NOT P_OUTPUT_NAME)
    set(P_OUTPUT_NAME ${target})
  endif()
  add_library(${target} SHARED ${P_SOURCES} ${OV_PLUGIN_DEF})
  set_target_properties(${target} PROPERTIES
    PREFIX "" SUFFIX ".ovp" OUTPUT_NAME ${P_OUTPUT_NAME}
    RUNTIME_OUTPUT_DIRECTORY ${P_OUTPUT_DIR}
    LIBRARY_OUTPUT_DIRECTORY ${P_OUTPUT_DIR})
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR}/common)
  ov_strict(${target})
  ov_static(${target})
endfunction()

# A plug-in built on the framework (framework/): the framework supplies
# InitOVPlugin and every entry; the plug-in supplies its data module.
# ov_add_framework_plugin(<target> [OUTPUT_DIR <dir>] [OUTPUT_NAME <name>]
#                         SOURCES ... [LIBS ...])
# OUTPUT_DIR defaults to dist/Plugins/<target>. Dialog templates (.rc) go
# into SOURCES: resources of a static library would not reach the module.
function(ov_add_framework_plugin target)
  cmake_parse_arguments(P "" "OUTPUT_DIR;OUTPUT_NAME" "SOURCES;LIBS" ${ARGN})
  if(NOT P_OUTPUT_DIR)
    set(P_OUTPUT_DIR ${OV_DIST}/Plugins/${target})
  endif()
  if(NOT P_OUTPUT_NAME)
    set(P_OUTPUT_NAME ${target})
  endif()
  ov_add_plugin(${target} OUTPUT_DIR ${P_OUTPUT_DIR} OUTPUT_NAME ${P_OUTPUT_NAME}
    SOURCES ${P_SOURCES})
  target_link_libraries(${target} PRIVATE ovframework ${P_LIBS})
  # The export lives in the static library, which nothing in the plug-in
  # refers to: naming it undefined makes the linker take it from there
  # whatever the order of the link line.
  target_link_options(${target} PRIVATE -Wl,--undefined=_InitOVPlugin@4)
endfunction()
