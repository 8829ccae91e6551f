# cmake -DCMARK=... -DSOURCE=manual.md -DHEAD=... -DFOOT=... -DOUTPUT=index.html -P make-manual.cmake
# The headings carry their ids as raw HTML, which cmark passes on only with --unsafe.
execute_process(COMMAND ${CMARK} --unsafe ${SOURCE}
  OUTPUT_VARIABLE body
  ERROR_VARIABLE errors
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmark failed on ${SOURCE} (${result}): ${errors}")
endif()
file(READ ${HEAD} head)
file(READ ${FOOT} foot)
# Written beside and moved into place, so a failed run never leaves half a page.
file(WRITE ${OUTPUT}.part "${head}${body}${foot}")
file(RENAME ${OUTPUT}.part ${OUTPUT})
