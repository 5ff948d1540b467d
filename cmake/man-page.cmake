# Writes the man page genreg(1) from docs/cli.md, the command's one
# description, with pandoc: the page cannot drift from the document, and
# tools/genreg/tests/help_matches_docs.sh keeps the document in step with
# --help.
#
#   cmake -DPANDOC=<pandoc> -DSOURCE=<docs/cli.md> -DOUTPUT=<genreg.1>
#         -DVERSION=<x.y.z> -P man-page.cmake
#
# The document's title line becomes the sections NAME and DESCRIPTION, and
# each "## " section a man section (upper case, as man pages have them).
cmake_minimum_required(VERSION 3.25)

file(READ "${SOURCE}" text)
# Drop the document's own title line ("# The genreg command").
string(FIND "${text}" "\n" end_of_title)
math(EXPR body_start "${end_of_title} + 1")
string(SUBSTRING "${text}" ${body_start} -1 text)
string(REPLACE "\n### " "\n@SUBSECTION@ " text "\n${text}")
string(REGEX MATCHALL "\n## [^\n]*" headings "${text}")
foreach(heading IN LISTS headings)
  string(TOUPPER "${heading}" upper)
  string(REPLACE "\n## " "\n# " upper "${upper}")
  string(REPLACE "${heading}" "${upper}" text "${text}")
endforeach()
string(REPLACE "\n@SUBSECTION@ " "\n## " text "${text}")
set(page "# NAME\n\ngenreg - read and edit the files of the genreg library, list installed copies and instances\n\n# DESCRIPTION\n${text}")

get_filename_component(dir "${OUTPUT}" DIRECTORY)
set(markdown "${dir}/genreg.1.md")
file(WRITE "${markdown}" "${page}")
execute_process(
  COMMAND "${PANDOC}" --from gfm --to man --standalone
          --metadata title=GENREG --metadata section=1
          "--metadata=footer:genreg ${VERSION}" "--metadata=header:genreg manual"
          --output "${OUTPUT}" "${markdown}"
  RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "pandoc failed (${rc}) on ${markdown}")
endif()
