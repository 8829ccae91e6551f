# Build speed: the linker, precompiled headers for the room libraries and the tests, and the
# tests' optimisation level. None of this changes what the code does.

include(CheckLinkerFlag)

# lld links the test executables several times faster than the default linker.
check_linker_flag(CXX "-fuse-ld=lld" TALVOR_HAS_LLD)
if(TALVOR_HAS_LLD)
  add_link_options(-fuse-ld=lld)
endif()
# Every image names itself by a SHA-1 build-id (lld's own default is a shorter hash), the
# same length the distribution's libraries carry: the kit and crash reports write it whole.
add_link_options(-Wl,--build-id=sha1)

# Headers nearly every translation unit parses. Kept lean: a header that only a few files
# use costs every file that does not.
set(TALVOR_PCH_STD
  <algorithm> <atomic> <cmath> <cstdint> <functional> <memory> <mutex> <optional> <string>
  <vector>)
set(TALVOR_PCH_QT
  <QColor> <QDateTime> <QDir> <QFile> <QFileInfo> <QImage> <QObject> <QPainter> <QPointer>
  <QString> <QStringList> <QTimeZone> <QUrl> <QVariant> <QWidget>)
set(TALVOR_PCH_TEST <gtest/gtest.h>)

# Precompiled headers are made once and reused: one for the rooms that use Qt, made by a
# target of its own with exactly the definitions every such room has (GCC refuses a header
# made under a macro the user lacks), and one per room that uses no Qt.
set(TALVOR_PRODUCT_DEFINITIONS QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_CAST_FROM_BYTEARRAY)

function(talvor_pch_owner name)
  set(source ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
  if(NOT EXISTS ${source})
    file(WRITE ${source} "// Makes a precompiled header that other targets reuse.\n")
  endif()
  add_library(${name} OBJECT ${source})
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
endfunction()

function(talvor_room_pch target)
  cmake_parse_arguments(P "STD_ONLY" "" "" ${ARGN})
  if(P_STD_ONLY)
    target_precompile_headers(${target} PRIVATE ${TALVOR_PCH_STD})
    return()
  endif()
  if(NOT TARGET talvor_pch_rooms)
    talvor_pch_owner(talvor_pch_rooms)
    target_link_libraries(talvor_pch_rooms PRIVATE Qt6::Core Qt6::Gui Qt6::Widgets)
    target_compile_definitions(talvor_pch_rooms PRIVATE ${TALVOR_PRODUCT_DEFINITIONS})
    target_precompile_headers(talvor_pch_rooms PRIVATE ${TALVOR_PCH_STD} ${TALVOR_PCH_QT})
  endif()
  target_precompile_headers(${target} REUSE_FROM talvor_pch_rooms)
endfunction()

# Tests and their support library compile without optimisation and with line tables only:
# they are built on every CI run and run for seconds. The product libraries they test keep
# their optimisation and full debug information.
set(TALVOR_TEST_COMPILE_OPTIONS -O0 -g1)
