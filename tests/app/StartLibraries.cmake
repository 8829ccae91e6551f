# Fails when the program loads, at its start, a library that it opens at first use instead:
# each one, and what it brings, would be mapped and relocated before the strip is drawn.
# The whole tree the loader maps is checked, so a room built as a shared library counts too.
#   cmake -DPROGRAM=<talvor> -P StartLibraries.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND ldd "${PROGRAM}" OUTPUT_VARIABLE loaded RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "ldd could not read ${PROGRAM}")
endif()
string(REPLACE "\n" ";" lines "${loaded}")
list(LENGTH lines count)
if(count LESS 2)
  message(FATAL_ERROR "no shared libraries listed for ${PROGRAM}")
endif()
foreach(library libcurl libssl libcrypto libsecret libgio)
  foreach(line ${lines})
    if(line MATCHES "^[ \t]*${library}[-.]")
      message(FATAL_ERROR "${PROGRAM} loads ${library} at start: it is opened at its first use")
    endif()
  endforeach()
endforeach()
