# Test helpers. Every test gets a timeout and its own HOME, XDG folders and
# registry folder inside the build tree, so no test ever touches the user's
# files or hive; windowed tests run without a display.
#
# Every test carries one of these labels, so that a part of the suite runs
# alone (`ctest -L unit`): unit (no window, seconds), gui (windows
# in-process), browser (the browser engine), e2e (the built program driven
# from outside), package (installing and packaging), fuzz.
#
# THREADS: the test drives code that runs on several threads; it also
# carries the label threads, and the target threads_tests builds it with
# everything it runs (the tsan preset builds and runs only those).
add_custom_target(threads_tests)

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

# quillan_add_gtest(NAME SOURCES src... [LIBS lib...] [LABEL label] [THREADS])
# A GoogleTest executable whose cases each become one ctest test, labelled
# unit unless told otherwise. It links the shared test helpers
# (tests/support, target test_support).
function(quillan_add_gtest name)
  cmake_parse_arguments(T "THREADS" "TIMEOUT;LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${QUILLAN_TEST_TIMEOUT})
  endif()
  if(NOT T_LABEL)
    set(T_LABEL unit)
  endif()
  _quillan_threads(T_LABEL ${name} ${T_THREADS})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} test_support GTest::gtest GTest::gmock GTest::gtest_main)
  quillan_warnings(${name})
  _quillan_test_env(env ${name})
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT ${T_TIMEOUT})
  # The environment and the labels are lists, and gtest_discover_tests
  # flattens the list of properties it is given, which would split them into
  # stray property pairs. They are set instead by a file ctest reads after
  # the discovered cases, each whole list as one bracket argument.
  set(env_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${env_file}
    "if(${name}_TESTS)\n"
    "  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${env}]==] LABELS [==[${T_LABEL}]==])\n"
    "endif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${env_file})
endfunction()

# quillan_add_qttest(NAME SOURCES src... [LIBS lib...] [LABEL label] [BROWSER] [THREADS])
# A Qt Test executable, run as one ctest test without a display, labelled
# gui unless told otherwise. It links the shared test helpers, with their
# Qt part (test_support_qt).
#
# BROWSER: the test runs the real browser engine, which needs an X server:
# it runs with an X server of its own (tests/support/with_display.sh) and
# the xcb platform, labelled browser, and the engine sends every request
# but those to 127.0.0.1 (which it never proxies) to a proxy port where
# nothing listens, so no page is ever looked up or fetched beyond the
# machine.
function(quillan_add_qttest name)
  cmake_parse_arguments(T "BROWSER;THREADS" "TIMEOUT;LABEL" "SOURCES;LIBS" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${QUILLAN_TEST_TIMEOUT})
  endif()
  if(NOT T_LABEL)
    if(T_BROWSER)
      set(T_LABEL browser)
    else()
      set(T_LABEL gui)
    endif()
  endif()
  _quillan_threads(T_LABEL ${name} ${T_THREADS})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} test_support_qt Qt6::Test)
  quillan_warnings(${name})
  _quillan_test_env(env ${name})
  if(T_BROWSER)
    add_test(NAME ${name} COMMAND ${PROJECT_SOURCE_DIR}/tests/support/with_display.sh $<TARGET_FILE:${name}>)
    list(FILTER env EXCLUDE REGEX "^QT_QPA_PLATFORM=")
    list(APPEND env "QT_QPA_PLATFORM=xcb" "QTWEBENGINE_CHROMIUM_FLAGS=--proxy-server=http://127.0.0.1:9")
  else()
    add_test(NAME ${name} COMMAND ${name})
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}" LABELS "${T_LABEL}")
endfunction()

# Adds the label threads to `labels` and the test `name` to threads_tests
# when `threads` is true.
function(_quillan_threads labels name threads)
  if(threads)
    list(APPEND ${labels} threads)
    set(${labels} ${${labels}} PARENT_SCOPE)
    add_dependencies(threads_tests ${name})
  endif()
endfunction()

# quillan_add_script_test(NAME COMMAND command args... [LABEL label] [TIMEOUT seconds])
# A test written as a script (installing, packaging, driving the program
# from outside): run as one ctest test with the same timeout and sandboxed
# environment as the others, labelled e2e unless told otherwise.
function(quillan_add_script_test name)
  cmake_parse_arguments(T "" "TIMEOUT;LABEL" "COMMAND" ${ARGN})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT ${QUILLAN_TEST_TIMEOUT})
  endif()
  if(NOT T_LABEL)
    set(T_LABEL e2e)
  endif()
  add_test(NAME ${name} COMMAND ${T_COMMAND})
  _quillan_test_env(env ${name})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT} ENVIRONMENT "${env}" LABELS ${T_LABEL})
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

# quillan_add_fuzz_target(NAME SOURCES src... LIBS lib... CORPUS dir [ARGS libfuzzer-args...])
# A libFuzzer target (sanitizer build only), run by ctest for 20 s from its
# seed corpus CORPUS, with what it finds kept in a work folder of the build.
function(quillan_add_fuzz_target name)
  cmake_parse_arguments(T "" "CORPUS" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests)
  target_link_libraries(${name} PRIVATE ${T_LIBS})
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  set_target_properties(${name} PROPERTIES AUTOMOC OFF)
  quillan_warnings(${name})

  set(work ${CMAKE_CURRENT_BINARY_DIR}/${name}-work)
  file(MAKE_DIRECTORY ${work})
  quillan_add_script_test(${name} LABEL fuzz TIMEOUT 120
    COMMAND $<TARGET_FILE:${name}> -max_total_time=20 -seed=1 -max_len=4096 ${T_ARGS} ${work} ${T_CORPUS})
endfunction()
