# talvor_add_test(<name> LABEL <unit|ui|dbus|x11|crash> [LINUX] [LOCK <resource>] SOURCES ... LIBS ...)
# One GoogleTest executable; each test case becomes a CTest test carrying the label.
# LINUX: the test exercises the Linux adapters (platform/linux): it links them and installs
# them as the system services before main, as the application does.
# `unit`, `ui` and `dbus` tests draw offscreen; `x11` tests use the display they are given,
# one at a time.
function(talvor_add_test name)
  cmake_parse_arguments(T "LINUX" "LABEL;LOCK" "SOURCES;LIBS" ${ARGN})
  if(NOT T_LABEL)
    message(FATAL_ERROR "talvor_add_test(${name}): LABEL is required")
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE talvor_test_support ${T_LIBS})
  target_compile_options(${name} PRIVATE ${TALVOR_TEST_COMPILE_OPTIONS})
  # Moc runs only where a test declares a QObject of its own.
  set(needs_moc OFF)
  foreach(source IN LISTS T_SOURCES)
    file(STRINGS ${CMAKE_CURRENT_SOURCE_DIR}/${source} hits REGEX "Q_OBJECT|Q_GADGET" LIMIT_COUNT 1)
    if(hits)
      set(needs_moc ON)
    endif()
  endforeach()
  set_target_properties(${name} PROPERTIES AUTOMOC ${needs_moc})
  # One precompiled header for every test, made by talvor_test_pch (tests/support): it holds
  # no Qt Test header, whose macros differ from folder to folder. Tests of the Linux adapters
  # build with -pthread, under which GCC refuses a header made without it.
  if(NOT T_LINUX)
    target_precompile_headers(${name} REUSE_FROM talvor_test_pch)
  endif()
  if(T_LINUX)
    target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/support/InstallLinuxServices.cpp)
    target_link_libraries(${name} PRIVATE talvor_platform_linux)
  endif()
  # Each property takes one value: a list here would be split into separate properties.
  set(props LABELS ${T_LABEL} ENVIRONMENT "TALVOR_TEST=1" TIMEOUT 120)
  if(T_LABEL STREQUAL "x11")
    # One virtual display serves every x11 test: grabs, popups and synthetic input of one
    # test must not reach another, so they take turns.
    list(APPEND props RESOURCE_LOCK talvor_x11_display)
  else()
    list(APPEND props ENVIRONMENT_MODIFICATION "QT_QPA_PLATFORM=set:offscreen")
    # Tests that own a shared resource (a well-known bus name, a sound sink) take turns.
    if(T_LOCK)
      list(APPEND props RESOURCE_LOCK ${T_LOCK})
    endif()
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
  talvor_add_whole_test(${name} ${props})
endfunction()

# talvor_plain_test_build(<executable>)
# A GoogleTest program of a room without Qt: built as the other tests are (no optimisation,
# line tables, the plain tests' precompiled header).
function(talvor_plain_test_build name)
  target_compile_options(${name} PRIVATE ${TALVOR_TEST_COMPILE_OPTIONS})
  target_precompile_headers(${name} REUSE_FROM talvor_test_pch_plain)
endfunction()

# talvor_add_whole_test(<executable> <test properties...>)
# CTest test `<executable>.whole`: the binary run whole, in one process and in a random
# order, so that a test leaning on another's leftovers or order fails. Its TIMEOUT is the
# whole binary's.
function(talvor_add_whole_test name)
  set(props ${ARGN})
  list(FIND props TIMEOUT at)
  if(at GREATER -1)
    math(EXPR value "${at} + 1")
    list(REMOVE_AT props ${value})
    list(REMOVE_AT props ${at})
  endif()
  add_test(NAME ${name}.whole COMMAND ${name} --gtest_shuffle)
  set_tests_properties(${name}.whole PROPERTIES ${props} TIMEOUT 600)
endfunction()
