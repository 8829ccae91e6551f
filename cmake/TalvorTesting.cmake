# talvor_add_test(<name> LABEL <unit|ui|dbus|x11|wayland|crash> [LINUX] [LOCK <resource>] SOURCES ... LIBS ...)
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
  if(T_LABEL STREQUAL "unit" OR T_LABEL STREQUAL "ui")
    talvor_sanitizer_runs(${name})
  endif()
endfunction()

# Test programs with a case the sanitizer build cannot run
# (tests/support/sanitizers/unsanitized-tests): the g++ build makes them in any case.
set(TALVOR_UNSANITIZED_TEST_PROGRAMS app_lifecycle_test sounds_output_missing_test)

# talvor_sanitizer_runs(<executable>...)
# Test programs whose tests the sanitizer build runs (labels unit, ui, fuzz): under
# scripts/test --ci they are compiled there only.
function(talvor_sanitizer_runs)
  foreach(name ${ARGN})
    if(NOT name IN_LIST TALVOR_UNSANITIZED_TEST_PROGRAMS)
      set_property(GLOBAL APPEND PROPERTY TALVOR_SANITIZER_TESTS ${name})
    endif()
  endforeach()
endfunction()

function(talvor_targets_below dir out)
  get_property(found DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(sub ${subdirs})
    talvor_targets_below(${sub} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# talvor_add_unsanitized_target()
# `talvor_unsanitized`: everything the build makes but the test programs the sanitizer build
# runs. Called once every target exists.
function(talvor_add_unsanitized_target)
  talvor_targets_below(${PROJECT_SOURCE_DIR} targets)
  get_property(sanitized GLOBAL PROPERTY TALVOR_SANITIZER_TESTS)
  set(kept)
  foreach(target ${targets})
    get_target_property(type ${target} TYPE)
    get_target_property(excluded ${target} EXCLUDE_FROM_ALL)
    if(NOT target IN_LIST sanitized AND NOT type STREQUAL "INTERFACE_LIBRARY" AND NOT excluded)
      list(APPEND kept ${target})
    endif()
  endforeach()
  add_custom_target(talvor_unsanitized)
  add_dependencies(talvor_unsanitized ${kept})
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
