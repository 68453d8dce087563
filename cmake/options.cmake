# Compile and link options shared by every target of ours.

set(OV_DIST ${CMAKE_BINARY_DIR}/dist)

# The edition: 32 (the product, i686) or 64 (x86_64), from the toolchain.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(OV_BITS 64)
  set(OV_MANIFEST_ARCH amd64)
else()
  set(OV_BITS 32)
  set(OV_MANIFEST_ARCH x86)
endif()

# ov_export_def(<out-var> <file-stem> <name>@<argument bytes> ...)
# Writes a module-definition file that exports each stdcall function by its
# plain name. The 32-bit edition decorates stdcall names (Name@N) and needs
# the alias; the 64-bit edition has one calling convention and no
# decoration, so there the plain name is the symbol itself.
function(ov_export_def out stem)
  set(text "EXPORTS\n")
  foreach(sym ${ARGN})
    string(REGEX REPLACE "@.*" "" plain ${sym})
    if(OV_BITS EQUAL 32)
      string(APPEND text "  ${plain} = ${sym}\n")
    else()
      string(APPEND text "  ${plain}\n")
    endif()
  endforeach()
  set(file ${CMAKE_BINARY_DIR}/defs/${stem}.def)
  file(WRITE ${file}.tmp "${text}")
  configure_file(${file}.tmp ${file} COPYONLY)
  set(${out} ${file} PARENT_SCOPE)
endfunction()

ov_export_def(OV_PLUGIN_DEF plugin InitOVPlugin@4)
if(OV_BITS EQUAL 32)
  set(OV_INIT_SYMBOL _InitOVPlugin@4)
else()
  set(OV_INIT_SYMBOL InitOVPlugin)
endif()

# Our code: strict warnings, errors on warnings; a pointer or handle never
# goes through a narrower integer unnoticed (C++ refuses such a cast by
# itself; C needs to be told).
function(ov_strict target)
  set(w -Wall -Wextra -Werror -Wint-to-pointer-cast)
  target_compile_options(${target} PRIVATE
    $<$<COMPILE_LANGUAGE:CXX>:${w}>
    $<$<COMPILE_LANGUAGE:C>:${w} -Wpointer-to-int-cast>)
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
  # The about box's template: resources in a static library never reach
  # the plug-in, so each plug-in compiles its own copy.
  ov_add_plugin(${target} OUTPUT_DIR ${P_OUTPUT_DIR} OUTPUT_NAME ${P_OUTPUT_NAME}
    SOURCES ${P_SOURCES} ${CMAKE_SOURCE_DIR}/framework/OVAbout.rc)
  target_link_libraries(${target} PRIVATE ovframework ${P_LIBS})
  # The export lives in the static library, which nothing in the plug-in
  # refers to: naming it undefined makes the linker take it from there
  # whatever the order of the link line.
  target_link_options(${target} PRIVATE -Wl,--undefined=${OV_INIT_SYMBOL})
endfunction()
