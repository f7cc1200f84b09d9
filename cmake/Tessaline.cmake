# Shared helpers so that a subsystem folder only lists what it links.

# tessaline_add_library(<name> DEPENDS <libs...> [PRIVATE <libs...>] [EXCLUDE <files...>])
# Builds every .cpp/.h/.qrc in the calling folder into the static library
# tessaline_<name>; a new file needs no edit here. DEPENDS are visible to
# users of the library, PRIVATE ones (external packages a backend hides)
# are not. EXCLUDE names sources (file names) that something else builds,
# such as a module opened at run time.
#
# The house is layered: a folder may include only its own headers and those
# of the tessaline libraries it links, directly or through them. A source
# that reaches above or beside its layer stops the configuration, so the
# layering holds without anyone having to remember it.
function(tessaline_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  foreach(excluded ${ARG_EXCLUDE})
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${excluded})
  endforeach()
  add_library(tessaline_${name} STATIC ${sources})
  target_include_directories(tessaline_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tessaline_${name} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE})

  set(allowed ${name})
  foreach(dependency ${ARG_DEPENDS})
    if(dependency MATCHES "^tessaline_(.+)$")
      get_property(below GLOBAL PROPERTY TESSALINE_LAYER_${CMAKE_MATCH_1})
      if(NOT below)
        message(FATAL_ERROR "tessaline_${name} links ${dependency}, which is not defined yet: add the folders bottom-up")
      endif()
      list(APPEND allowed ${below})
    endif()
  endforeach()
  list(REMOVE_DUPLICATES allowed)
  set_property(GLOBAL PROPERTY TESSALINE_LAYER_${name} ${allowed})
  foreach(source ${sources})
    file(STRINGS ${source} includes REGEX "^#include \"[a-z]+/")
    foreach(line ${includes})
      string(REGEX MATCH "^#include \"([a-z]+)/" unused "${line}")
      if(NOT CMAKE_MATCH_1 IN_LIST allowed)
        message(FATAL_ERROR "${source} includes ${CMAKE_MATCH_1}/, which is not below ${name}/ (it may use: ${allowed})")
      endif()
    endforeach()
  endforeach()
endfunction()

# tessaline_add_test(<name> LIBS <libs...> [X11 | WAYLAND <sway|kde|gnome>...] [PRIVATE_BUS] [TIMEOUT <s>])
# One Qt Test executable from tst_<name>.cpp. Tests run offscreen unless
# marked X11 or WAYLAND, in which case they use the X server or the headless
# Wayland session (of that flavour) that the test command started; a test
# given several flavours runs once in each (as <name>_<flavour> after the
# first). Wayland tests take one lock: the screenshot portal writes one
# fixed file.
# PRIVATE_BUS runs the test on a session bus of its own that activates no
# services, for tests that own well-known names.
function(tessaline_add_test name)
  cmake_parse_arguments(ARG "X11;PRIVATE_BUS" "TIMEOUT" "LIBS;SOURCES;WAYLAND" ${ARGN})
  add_executable(tst_${name} tst_${name}.cpp ${ARG_SOURCES})
  target_link_libraries(tst_${name} PRIVATE Qt6::Test ${ARG_LIBS})
  if(ARG_PRIVATE_BUS)
    add_test(NAME ${name} COMMAND dbus-run-session
      --config-file=${PROJECT_SOURCE_DIR}/tests/support/private-session-bus.conf -- $<TARGET_FILE:tst_${name}>)
  else()
    add_test(NAME ${name} COMMAND tst_${name})
  endif()
  set(sanitizer_environment ${TESSALINE_SANITIZER_ENVIRONMENT})
  if(ARG_X11)
    set(platform xcb)
    set_tests_properties(${name} PROPERTIES LABELS x11 RESOURCE_LOCK x11display)
  elseif(ARG_WAYLAND)
    set(platform wayland)
    set(sanitizer_environment ${TESSALINE_SANITIZER_WAYLAND_ENVIRONMENT})
    list(GET ARG_WAYLAND 0 first_flavour)
    set_tests_properties(${name} PROPERTIES LABELS "wayland;${first_flavour}" RESOURCE_LOCK waylandsession)
    target_compile_definitions(tst_${name} PRIVATE
      TESSALINE_WAYLAND_SESSION="${PROJECT_SOURCE_DIR}/scripts/wayland-session.sh"
      TESSALINE_WAYLAND_FLAVOUR="${first_flavour}")
    set(other_flavours ${ARG_WAYLAND})
    list(REMOVE_AT other_flavours 0)
  else()
    set(platform offscreen)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  # A test that drives a window system waits on the compositor, the portals
  # and the apps it starts, which a machine loaded to several times its
  # processors makes minutes slower: the limit only stops a test that hangs.
  if((ARG_X11 OR ARG_WAYLAND) AND ARG_TIMEOUT LESS 600)
    set(ARG_TIMEOUT 600)
  endif()
  # Under the sanitizers a test runs several times slower, and the limit set
  # here is the one ctest keeps: its --timeout only covers tests without one.
  if(TESSALINE_SANITIZE)
    math(EXPR ARG_TIMEOUT "${ARG_TIMEOUT} * 4")
  endif()
  set(environment "QT_QPA_PLATFORM=${platform}" "TESSALINE_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}/data"
    ${sanitizer_environment})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT} ENVIRONMENT "${environment}")
  foreach(flavour IN LISTS other_flavours)
    add_test(NAME ${name}_${flavour} COMMAND tst_${name})
    set_tests_properties(${name}_${flavour} PROPERTIES
      LABELS "wayland;${flavour}" RESOURCE_LOCK waylandsession TIMEOUT ${ARG_TIMEOUT}
      ENVIRONMENT "${environment};TESSALINE_WAYLAND_FLAVOUR=${flavour}")
  endforeach()
endfunction()

# Adds every direct subfolder of the calling folder that has a CMakeLists.txt,
# so a new subsystem is one new folder.
function(tessaline_add_subfolders)
  file(GLOB children LIST_DIRECTORIES true ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${child} AND EXISTS ${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# tessaline_add_benchmark(<name> LIBS <libs...>) from bench_<name>.cpp.
function(tessaline_add_benchmark name)
  cmake_parse_arguments(ARG "" "" "LIBS" ${ARGN})
  add_executable(bench_${name} bench_${name}.cpp)
  target_link_libraries(bench_${name} PRIVATE benchmark::benchmark ${ARG_LIBS})
  target_include_directories(bench_${name} PRIVATE ${PROJECT_SOURCE_DIR}/bench)
  # Where the picture corpus is kept once drawn (bench/runtime/ScreenshotContent.h).
  target_compile_definitions(bench_${name} PRIVATE TESSALINE_BENCH_CORPUS_DIR="${PROJECT_BINARY_DIR}/bench/corpus")
endfunction()
