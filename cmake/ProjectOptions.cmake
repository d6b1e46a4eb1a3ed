# Flags every target links privately: project_warnings and project_options.
option(MORVANE_WERROR "Treat warnings as errors (on in CI)" OFF)
option(MORVANE_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(MORVANE_TSAN "Build with ThreadSanitizer" OFF)

add_library(project_warnings INTERFACE)
target_compile_options(project_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wold-style-cast
  $<$<BOOL:${MORVANE_WERROR}>:-Werror>)

add_library(project_options INTERFACE)
if(MORVANE_SANITIZE AND MORVANE_TSAN)
  message(FATAL_ERROR "MORVANE_SANITIZE and MORVANE_TSAN exclude each other")
endif()
if(MORVANE_SANITIZE)
  # The checked build also bounds-checks the standard containers ([], front,
  # back) where AddressSanitizer cannot see inside their capacity.
  target_compile_options(project_options INTERFACE
    -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_compile_definitions(project_options INTERFACE _GLIBCXX_ASSERTIONS)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
endif()
if(MORVANE_TSAN)
  target_compile_options(project_options INTERFACE -fsanitize=thread -fno-omit-frame-pointer)
  target_link_options(project_options INTERFACE -fsanitize=thread)
endif()
if(MORVANE_FUZZ)
  # Every object the fuzzer links is instrumented for coverage and checked by ASan.
  target_compile_options(project_options INTERFACE
    -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer)
  target_link_options(project_options INTERFACE -fsanitize=address,undefined)
endif()

# morvane_add_library(name SOURCES ... DEPS ...): a static library of one folder.
function(morvane_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  # One include root for the whole program: #include "image/pic_doc.h". Headers
  # in a detail/ folder belong to their own library alone.
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/analysis)
  target_link_libraries(${name} PUBLIC ${ARG_DEPS} PRIVATE project_warnings project_options)
  # Sanitizer and fuzzer flags must reach whoever links the library.
  target_link_libraries(${name} INTERFACE project_options)
endfunction()
