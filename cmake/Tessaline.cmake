# Shared helpers so that a subsystem folder only lists what it links.

# tessaline_add_library(<name> DEPENDS <libs...> [PRIVATE <libs...>])
# Builds every .cpp/.h/.qrc in the calling folder into the static library
# tessaline_<name>; a new file needs no edit here. DEPENDS reach whoever links
# the library; PRIVATE ones (external packages) only its own sources, so
# their include paths stay inside it.
function(tessaline_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS
    ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp
    ${CMAKE_CURRENT_SOURCE_DIR}/*.h
    ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
  list(FILTER sources EXCLUDE REGEX "/main\\.cpp$")
  add_library(tessaline_${name} STATIC ${sources})
  target_include_directories(tessaline_${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(tessaline_${name} PUBLIC ${ARG_DEPENDS})
  if(ARG_PRIVATE)
    target_link_libraries(tessaline_${name} PRIVATE ${ARG_PRIVATE})
  endif()
endfunction()

# tessaline_add_test(<name> LIBS <libs...> [X11 | WAYLAND <sway|kde>] [TIMEOUT <s>])
# One Qt Test executable from tst_<name>.cpp. Tests run offscreen unless
# marked X11 or WAYLAND, in which case they use the X server or the headless
# Wayland session (of that flavour) that the test command started. Wayland
# tests take one lock: the screenshot portal writes one fixed file.
function(tessaline_add_test name)
  cmake_parse_arguments(ARG "X11" "TIMEOUT;WAYLAND" "LIBS;SOURCES" ${ARGN})
  add_executable(tst_${name} tst_${name}.cpp ${ARG_SOURCES})
  target_link_libraries(tst_${name} PRIVATE Qt6::Test ${ARG_LIBS})
  add_test(NAME ${name} COMMAND tst_${name})
  if(ARG_X11)
    set(platform xcb)
    set_tests_properties(${name} PROPERTIES LABELS x11 RESOURCE_LOCK x11display)
  elseif(ARG_WAYLAND)
    set(platform wayland)
    set_tests_properties(${name} PROPERTIES LABELS "wayland;${ARG_WAYLAND}" RESOURCE_LOCK waylandsession)
    target_compile_definitions(tst_${name} PRIVATE
      TESSALINE_WAYLAND_SESSION="${PROJECT_SOURCE_DIR}/scripts/wayland-session.sh"
      TESSALINE_WAYLAND_FLAVOUR="${ARG_WAYLAND}")
  else()
    set(platform offscreen)
  endif()
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 120)
  endif()
  set_tests_properties(${name} PROPERTIES
    TIMEOUT ${ARG_TIMEOUT}
    ENVIRONMENT "QT_QPA_PLATFORM=${platform};TESSALINE_TEST_DATA=${CMAKE_CURRENT_SOURCE_DIR}/data")
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
endfunction()
