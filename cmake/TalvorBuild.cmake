# Build speed: the linker, precompiled headers for the room libraries and the tests, and the
# tests' optimisation level. None of this changes what the code does.

include(CheckLinkerFlag)

# lld links the test executables several times faster than the default linker.
check_linker_flag(CXX "-fuse-ld=lld" TALVOR_HAS_LLD)
if(TALVOR_HAS_LLD)
  add_link_options(-fuse-ld=lld)
endif()

# Headers nearly every translation unit parses. Kept lean: a header that only a few files
# use costs every file that does not.
set(TALVOR_PCH_STD
  <algorithm> <atomic> <cmath> <cstdint> <functional> <memory> <mutex> <optional> <string>
  <vector>)
set(TALVOR_PCH_QT
  <QColor> <QDateTime> <QDir> <QFile> <QFileInfo> <QImage> <QObject> <QPainter> <QPointer>
  <QString> <QStringList> <QTimeZone> <QUrl> <QVariant> <QWidget>)
set(TALVOR_PCH_TEST <gtest/gtest.h> <QTest>)

# One precompiled header per room library; `STD_ONLY` for the rooms that use no Qt.
function(talvor_room_pch target)
  cmake_parse_arguments(P "STD_ONLY" "" "" ${ARGN})
  if(P_STD_ONLY)
    target_precompile_headers(${target} PRIVATE ${TALVOR_PCH_STD})
  else()
    target_precompile_headers(${target} PRIVATE ${TALVOR_PCH_STD} ${TALVOR_PCH_QT})
  endif()
endfunction()

# Tests and their support library compile without optimisation: they are built on every
# CI run and run for seconds. The product libraries they test keep their optimisation.
set(TALVOR_TEST_COMPILE_OPTIONS -O0)
