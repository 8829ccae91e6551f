# Fails when the program links a library that it opens at first use instead: each one, and
# what it brings, would be mapped and relocated at every start before the strip is drawn.
#   cmake -DPROGRAM=<talvor> -P StartLibraries.cmake
execute_process(COMMAND readelf -d "${PROGRAM}" OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf could not read ${PROGRAM}")
endif()
string(REGEX MATCHALL "\\(NEEDED\\)[^\n]*\\[[^]]+\\]" needed "${dynamic}")
if(NOT needed)
  message(FATAL_ERROR "no shared libraries listed in ${PROGRAM}")
endif()
foreach(library libcurl libssl libcrypto libsecret libgio)
  foreach(line ${needed})
    if(line MATCHES "\\[${library}[-.]")
      message(FATAL_ERROR "${PROGRAM} links ${library}: it is opened at its first use")
    endif()
  endforeach()
endforeach()
