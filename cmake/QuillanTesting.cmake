# Test helpers. Every test gets a timeout and its own HOME, XDG folders and
# registry folder inside the build tree, so no test ever touches the user's
# files or hive; windowed tests run without a display.

set(QUILLAN_TEST_TIMEOUT 120 CACHE STRING "Seconds before a single test is stopped")

function(_quillan_test_env out name)
  set(root ${CMAKE_CURRENT_BINARY_DIR}/testhome/${name})
  file(MAKE_DIRECTORY ${root}/data ${root}/config ${root}/cache ${root}/runtime ${root}/registry)
  set(${out}
    "HOME=${root}"
    "XDG_DATA_HOME=${root}/data"
    "XDG_CONFIG_HOME=${root}/config"
    "XDG_CACHE_HOME=${root}/cache"
    "XDG_RUNTIME_DIR=${root}/runtime"
    "QUILLAN_REGISTRY_DIR=${root}/registry"
    "QT_QPA_PLATFORM=offscreen"
    "QTWEBENGINE_DISABLE_SANDBOX=1"
    PARENT_SCOPE)
endfunction()

# quillan_add_gtest(NAME SOURCES src... [LIBS lib...])
# A GoogleTest executable whose cases each become one ctest test. It links
# the shared test helpers (tests/support, target test_support).
function(quillan_add_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${QUILLAN_TEST_TIMEOUT})
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} test_support GTest::gtest GTest::gmock GTest::gtest_main)
  quillan_warnings(${name})
  _quillan_test_env(env ${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
endfunction()

# quillan_add_qttest(NAME SOURCES src... [LIBS lib...])
# A Qt Test executable, run as one ctest test without a display. It links
# the shared test helpers, with their Qt part (test_support_qt).
function(quillan_add_qttest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${QUILLAN_TEST_TIMEOUT})
  endif()
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} test_support_qt Qt6::Test)
  quillan_warnings(${name})
  add_test(NAME ${name} COMMAND ${name})
  _quillan_test_env(env ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
endfunction()

# quillan_add_script_test(NAME COMMAND command args... [TIMEOUT seconds])
# A test written as a script (installing, packaging): run as one ctest test
# with the same timeout and sandboxed environment as the others.
function(quillan_add_script_test name)
  cmake_parse_arguments(T "" "TIMEOUT" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${QUILLAN_TEST_TIMEOUT})
  endif()
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  _quillan_test_env(env ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}")
endfunction()

# quillan_add_desktop_test(NAME SCRIPT script [ARGS args...] [TIMEOUT seconds])
# A test that starts the built program on a desktop of its own and uses it
# from outside (tests/support/desktop.py): run by Debian's Python, which has
# the accessibility bindings; exit status 77 is a skip (no display server,
# or offline without a network namespace).
find_program(QUILLAN_DESKTOP_PYTHON python3 PATHS /usr/bin NO_DEFAULT_PATH)
function(quillan_add_desktop_test name)
  cmake_parse_arguments(T "" "TIMEOUT;SCRIPT" "ARGS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${QUILLAN_TEST_TIMEOUT})
  endif()
  if(NOT QUILLAN_DESKTOP_PYTHON)
    set(QUILLAN_DESKTOP_PYTHON python3)
  endif()
  add_test(NAME ${name} COMMAND ${QUILLAN_DESKTOP_PYTHON} ${T_SCRIPT} ${T_ARGS})
  _quillan_test_env(env ${name})
  list(FILTER env EXCLUDE REGEX "^QT_QPA_PLATFORM=")
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}" SKIP_RETURN_CODE 77
    LABELS desktop)
endfunction()
