# Builds the resources of a manifest into a static library.
#
#   orchid_embed_resources(TARGET name MANIFEST file BASEDIR dir)
#
# The manifest holds one resource per line, "id name file", where file is
# relative to BASEDIR ('#' starts a comment). The files are assembled into
# read-only data with .incbin and listed in the table platform/resources.h
# declares. Files that other rules generate are depended on by path, so the
# generator runs first.
function(orchid_embed_resources)
  cmake_parse_arguments(ARG "" "TARGET;MANIFEST;BASEDIR" "" ${ARGN})
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ARG_MANIFEST})
  file(STRINGS ${ARG_MANIFEST} lines)

  # Read-only data: .rodata in ELF, .rdata in PE/COFF (Windows).
  if(WIN32)
    set(asm "\t.section .rdata,\"dr\"\n")
  else()
    set(asm "\t.section .rodata\n")
  endif()
  set(decls "")
  set(rows "")
  set(files "")
  set(n 0)
  foreach(line IN LISTS lines)
    string(STRIP "${line}" line)
    if(line STREQUAL "" OR line MATCHES "^#")
      continue()
    endif()
    string(REGEX MATCH "^([0-9]+)[ \t]+([A-Za-z0-9_]+)[ \t]+([^ \t]+)$" ok "${line}")
    if(NOT ok)
      message(FATAL_ERROR "${ARG_MANIFEST}: bad line '${line}'")
    endif()
    set(id ${CMAKE_MATCH_1})
    set(name ${CMAKE_MATCH_2})
    set(path ${ARG_BASEDIR}/${CMAKE_MATCH_3})
    list(APPEND files ${path})
    string(APPEND asm "\t.balign 16\n\t.globl orchid_res_${name}\norchid_res_${name}:\n\t.incbin \"${path}\"\n\t.globl orchid_res_${name}_end\norchid_res_${name}_end:\n")
    string(APPEND decls "extern const uint8_t orchid_res_${name}[];\nextern const uint8_t orchid_res_${name}_end[];\n")
    string(APPEND rows "    {${id}, \"${name}\", orchid_res_${name}, orchid_res_${name}_end},\n")
    math(EXPR n "${n} + 1")
  endforeach()
  # ELF objects say that they need no executable stack; other formats have
  # no such note.
  if(CMAKE_EXECUTABLE_FORMAT STREQUAL "ELF")
    string(APPEND asm "\t.section .note.GNU-stack,\"\",@progbits\n")
  endif()

  set(out ${CMAKE_CURRENT_BINARY_DIR}/${ARG_TARGET})
  file(CONFIGURE OUTPUT ${out}/resources.S CONTENT "${asm}")
  set(cpp "// Generated from ${ARG_MANIFEST}; do not edit.\n#include <cstdint>\n#include \"platform/resources.h\"\n\nextern \"C\" {\n${decls}}\n\nnamespace platform {\nnamespace {\nconst EmbeddedResource table[] = {\n${rows}    {0, nullptr, nullptr, nullptr},\n};\n}  // namespace\n\nconst EmbeddedResource* const kEmbeddedResources = table;\nconst int kEmbeddedResourceCount = ${n};\n}  // namespace platform\n")
  file(CONFIGURE OUTPUT ${out}/resources_table.cpp CONTENT "${cpp}")

  add_library(${ARG_TARGET} OBJECT ${out}/resources.S ${out}/resources_table.cpp)
  target_link_libraries(${ARG_TARGET} PUBLIC orchid_platform)
  set_source_files_properties(${out}/resources.S PROPERTIES OBJECT_DEPENDS "${files}")
endfunction()
