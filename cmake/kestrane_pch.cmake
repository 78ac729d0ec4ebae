# Precompiled headers: the standard, Qt and GoogleTest headers most of our units include, compiled
# once per tree instead of parsed once per unit.
#
# There are four sets, by what a target may include: Qt Core, Qt Widgets, and each of them with
# GoogleTest for the suites. Each set is compiled once, in a small object library of its own, and
# every target of ours that uses Qt takes the set its links allow (REUSE_FROM). A set holds only
# headers that no compile definition of a consumer changes, so that one compiled header fits every
# consumer of the set; -Winvalid-pch with -Werror fails the build if one ever does not. Since every
# unit sees these headers first, a unit that forgets to include one of them still compiles in a
# tree that has them; the clang trees, which have none, show it.
#
# On by default with g++ only. A clang precompiled header names its header and source by their
# absolute paths in the build folder and cannot be used once they are gone, and CMake hands clang
# those paths where ccache does not make them relative: with ccache, a clang tree in a fresh clone
# would miss on every unit that uses one, or, given a header compiled in another clone, fail once
# that clone is deleted.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  set(kestrane_pch_default ON)
else()
  set(kestrane_pch_default OFF)
endif()
option(KESTRANE_PCH "Precompile the standard, Qt and GoogleTest headers most units include" ${kestrane_pch_default})

set(kestrane_pch_std
  <algorithm> <atomic> <chrono> <cstddef> <cstdint> <cstdio> <cstdlib> <cstring> <deque> <functional>
  <map> <memory> <mutex> <optional> <set> <string> <thread> <utility> <vector>)
set(kestrane_pch_core
  <QByteArray> <QCoreApplication> <QDateTime> <QDebug> <QDir> <QFile> <QFileInfo> <QHash> <QList>
  <QMap> <QMetaType> <QObject> <QPointer> <QSet> <QString> <QStringList> <QTimer> <QUuid>
  <QVector>)
set(kestrane_pch_widgets
  <QAction> <QApplication> <QBoxLayout> <QCheckBox> <QComboBox> <QDialog> <QDialogButtonBox>
  <QGridLayout> <QHeaderView> <QLabel> <QLineEdit> <QListWidget> <QMenu> <QMessageBox> <QPainter>
  <QPushButton> <QSpinBox> <QStackedWidget> <QTreeWidget> <QWidget>)
# With the printers of QString and QStringList that every suite's unit must see (kestrane_add_test).
set(kestrane_pch_test <gmock/gmock.h> <gtest/gtest.h> <QTemporaryDir> <tests/support/qt_printers.h>)

# Sets `out` to the targets and libraries whose usage requirements `target` sees: what it links,
# and what those pass on, to the end.
function(kestrane_pch_usage target out)
  get_target_property(queue ${target} LINK_LIBRARIES)
  set(seen)
  while(queue)
    list(POP_FRONT queue item)
    if(NOT item OR item IN_LIST seen OR item MATCHES "^\\$<LINK_ONLY:")
      continue()
    endif()
    list(APPEND seen ${item})
    if(TARGET ${item})
      get_target_property(next ${item} INTERFACE_LINK_LIBRARIES)
      if(next)
        list(APPEND queue ${next})
      endif()
    endif()
  endwhile()
  set(${out} ${seen} PARENT_SCOPE)
endfunction()

# The set `target` may take (core, widgets, test_core, test_widgets), or "" for none.
function(kestrane_pch_set_of target out)
  set(set_name "")
  kestrane_pch_usage(${target} usage)
  if(Qt5::Widgets IN_LIST usage)
    set(set_name widgets)
  elseif(Qt5::Core IN_LIST usage)
    set(set_name core)
  endif()
  if(set_name AND GTest::gtest IN_LIST usage)
    set(set_name test_${set_name})
  endif()
  set(${out} ${set_name} PARENT_SCOPE)
endfunction()

function(kestrane_pch_headers set_name out)
  set(headers ${kestrane_pch_std} ${kestrane_pch_core})
  if(set_name MATCHES "widgets")
    list(APPEND headers ${kestrane_pch_widgets})
  endif()
  if(set_name MATCHES "^test_")
    list(APPEND headers ${kestrane_pch_test})
  endif()
  set(${out} ${headers} PARENT_SCOPE)
endfunction()

# The object library that compiles the set once, for REUSE_FROM.
function(kestrane_pch_provider set_name out)
  set(provider kestrane_pch_${set_name})
  if(NOT TARGET ${provider})
    set(source ${PROJECT_BINARY_DIR}/kestrane_pch/${set_name}.cpp)
    file(CONFIGURE OUTPUT ${source} CONTENT "// Only here so that its target compiles the header set.\n")
    add_library(${provider} OBJECT ${source})
    set(links Qt5::Core)
    if(set_name MATCHES "widgets")
      set(links Qt5::Widgets)
    endif()
    if(set_name MATCHES "^test_")
      list(APPEND links GTest::gmock GTest::gtest)
      target_include_directories(${provider} PRIVATE ${PROJECT_SOURCE_DIR})
    endif()
    target_link_libraries(${provider} PRIVATE ${links})
    kestrane_target_defaults(${provider})
    # ccache keeps a clang precompiled header only without its headers' times in it.
    target_compile_options(${provider} PRIVATE $<$<CXX_COMPILER_ID:Clang>:SHELL:-Xclang -fno-pch-timestamp>)
    kestrane_pch_headers(${set_name} headers)
    target_precompile_headers(${provider} PRIVATE ${headers})
  endif()
  set(${out} ${provider} PARENT_SCOPE)
endfunction()

# Every target that compiles code in `dir` and the folders below it.
function(kestrane_pch_targets dir out)
  set(found)
  get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type MATCHES "^(EXECUTABLE|STATIC_LIBRARY|SHARED_LIBRARY|OBJECT_LIBRARY)$")
      list(APPEND found ${target})
    endif()
  endforeach()
  get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
  foreach(subdir IN LISTS subdirs)
    kestrane_pch_targets(${subdir} more)
    list(APPEND found ${more})
  endforeach()
  set(${out} ${found} PARENT_SCOPE)
endfunction()

# Gives every target of ours its set; called once, after every folder has made its targets.
function(kestrane_precompile_headers)
  if(NOT KESTRANE_PCH)
    return()
  endif()
  kestrane_pch_targets(${PROJECT_SOURCE_DIR} targets)
  foreach(target IN LISTS targets)
    get_target_property(is_disabled ${target} DISABLE_PRECOMPILE_HEADERS)
    kestrane_pch_set_of(${target} set_name)
    if(is_disabled OR NOT set_name)
      continue()
    endif()
    kestrane_pch_provider(${set_name} provider)
    target_precompile_headers(${target} REUSE_FROM ${provider})
  endforeach()
endfunction()
