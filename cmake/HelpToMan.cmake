# Writes the manual page of a program from what its --help and --version
# print, so that the page says what the program itself says:
#   cmake -DPROGRAM=path -DOUTPUT=page.6 -DSECTION=6 -DSUMMARY=text
#         -DFILES=path... -P HelpToMan.cmake
# SUMMARY is the page's one-line NAME text; FILES, the files the program
# reads, listed under FILES.
#
# The help text is read by its layout: "Usage: NAME ARGS" is the synopsis;
# the paragraph after it the description; a line of its own ending in ':'
# heads a group of options; an option line starts with two spaces and a '-',
# its text begins after a run of two or more spaces, and deeper indented
# lines continue it; a paragraph that starts "Words like these: ..." becomes
# a section headed by those words.

execute_process(COMMAND ${PROGRAM} --help OUTPUT_VARIABLE help RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed (${status})")
endif()
execute_process(COMMAND ${PROGRAM} --version OUTPUT_VARIABLE version RESULT_VARIABLE status
  OUTPUT_STRIP_TRAILING_WHITESPACE)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --version failed (${status})")
endif()

# Text as roff reads it: backslashes escaped, hyphens in option names as
# minus signs, and no line taken for a request.
function(roff_text out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REGEX REPLACE "^([.'])" "\\\\&\\1" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()
function(roff_option out text)
  roff_text(text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  # The option's name in bold, its argument in italics.
  if(text MATCHES "^([^ ]+) (.+)$")
    set(text "\\fB${CMAKE_MATCH_1}\\fR \\fI${CMAKE_MATCH_2}\\fR")
  else()
    set(text "\\fB${text}\\fR")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

string(REGEX MATCH "^Usage: ([^ \n]+) ?([^\n]*)\n" usage "${help}")
if(NOT usage)
  message(FATAL_ERROR "${PROGRAM} --help does not start with a usage line")
endif()
set(name "${CMAKE_MATCH_1}")
set(arguments "${CMAKE_MATCH_2}")
string(LENGTH "${usage}" skip)
string(SUBSTRING "${help}" ${skip} -1 help)
string(TOUPPER "${name}" title)

roff_text(summary "${SUMMARY}")
roff_text(arguments "${arguments}")
roff_text(version "${version}")
set(page ".TH ${title} ${SECTION} \"\" \"${version}\"\n")
string(APPEND page ".SH NAME\n${name} \\- ${summary}\n")
string(APPEND page ".SH SYNOPSIS\n.B ${name}\n${arguments}\n")
string(APPEND page ".SH DESCRIPTION\n")

# Line by line, without CMake lists (the text may hold ';' and brackets).
set(options_begun FALSE)
set(paragraph FALSE)
while(NOT help STREQUAL "")
  string(FIND "${help}" "\n" end)
  if(end EQUAL -1)
    set(line "${help}")
    set(help "")
  else()
    string(SUBSTRING "${help}" 0 ${end} line)
    math(EXPR end "${end} + 1")
    string(SUBSTRING "${help}" ${end} -1 help)
  endif()

  if(line STREQUAL "")
    set(paragraph FALSE)
  elseif(line MATCHES "^  +(-[^ ]*( [^ ]+)?)(  +(.*))?$")
    set(text "${CMAKE_MATCH_4}")
    roff_option(option "${CMAKE_MATCH_1}")
    if(NOT options_begun)
      string(APPEND page ".SH OPTIONS\n")
      set(options_begun TRUE)
    endif()
    roff_text(text "${text}")
    string(APPEND page ".TP\n${option}\n${text}\n")
    set(paragraph TRUE)
  elseif(line MATCHES "^   +(.*)$")
    roff_text(text "${CMAKE_MATCH_1}")
    string(APPEND page "${text}\n")
  elseif(line MATCHES "^  ([^ -][^ ]*( [^ ]+)*)  +(.*)$")
    # A key and what it does, as an option is set out.
    roff_text(key "${CMAKE_MATCH_1}")
    roff_text(text "${CMAKE_MATCH_3}")
    string(APPEND page ".TP\n\\fB${key}\\fR\n${text}\n")
    set(paragraph TRUE)
  elseif(NOT paragraph AND line MATCHES "^([^ :][^:]*):$")
    if(NOT options_begun)
      string(APPEND page ".SH OPTIONS\n")
      set(options_begun TRUE)
    endif()
    roff_text(text "${CMAKE_MATCH_1}")
    string(APPEND page ".SS ${text}\n")
  elseif(line MATCHES "^([A-Z][a-z]+( [a-z]+)*): (.*)$")
    string(TOUPPER "${CMAKE_MATCH_1}" heading)
    roff_text(text "${CMAKE_MATCH_3}")
    string(APPEND page ".SH ${heading}\n${text}\n")
    set(paragraph TRUE)
  else()
    roff_text(text "${line}")
    if(NOT paragraph AND NOT page MATCHES "\\.SH DESCRIPTION\n$")
      string(APPEND page ".PP\n")
    endif()
    string(APPEND page "${text}\n")
    set(paragraph TRUE)
  endif()
endwhile()

if(FILES)
  string(APPEND page ".SH FILES\n")
  foreach(file IN LISTS FILES)
    roff_text(file "${file}")
    string(APPEND page ".TP\n.I ${file}\n")
  endforeach()
endif()
file(WRITE "${OUTPUT}" "${page}")
