# Compiler settings shared by every target of our own: warnings are errors, printf formats checked.
function(kestrane_target_defaults target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Werror -Wformat=2 -Wformat-security -Wshadow -Wnon-virtual-dtor)
endfunction()

# A GoogleTest executable whose cases are registered one by one with CTest. OWN_MAIN is for suites
# that need a Qt application object before the first test runs.
# A hung test is ended by the timeout of the test preset it runs under (CMakePresets.json), 120 s
# times the preset's KESTRANE_TEST_DEADLINE_FACTOR, which scales the tests' own give-up deadlines
# too (tests/support/deadline_factor.h): a loaded or sanitized machine is slower, never red. Run
# without a preset, ctest needs --timeout for that.
function(kestrane_add_test name)
  cmake_parse_arguments(ARG "OWN_MAIN" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  kestrane_target_defaults(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} kestrane_test_support GTest::gtest GTest::gmock)
  if(NOT ARG_OWN_MAIN)
    target_link_libraries(${name} PRIVATE GTest::gtest_main)
  endif()
  # A QString or QStringList in a failed expectation prints as its text (tests/support/qt_printers.h).
  # GoogleTest looks for the printer where the expectation is compiled, so every unit sees it: in
  # the suites' precompiled header where there is one (cmake/kestrane_pch.cmake), included first
  # otherwise.
  if(NOT KESTRANE_PCH)
    target_compile_options(${name} PRIVATE -include tests/support/qt_printers.h)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()

# Adds the folders of suites, one per room of the tree, and labels every test registered in or below
# each with the room's name, so that one room's suites run alone: ctest --preset default -L sessions.
function(kestrane_add_test_rooms)
  foreach(room IN LISTS ARGN)
    add_subdirectory(${room})
    kestrane_label_tests_below(${CMAKE_CURRENT_SOURCE_DIR}/${room} ${room})
  endforeach()
endfunction()

# CTest gives a folder's labels to the tests of that folder only, not to those of its subfolders.
function(kestrane_label_tests_below folder label)
  set_property(DIRECTORY ${folder} PROPERTY LABELS ${label})
  get_property(subfolders DIRECTORY ${folder} PROPERTY SUBDIRECTORIES)
  foreach(subfolder IN LISTS subfolders)
    kestrane_label_tests_below(${subfolder} ${label})
  endforeach()
endfunction()
