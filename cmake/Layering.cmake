# One static library per folder of src/, orvane_<folder>, linking only the
# folders it may use, so that dependencies keep pointing one way. The build
# holds every library to that, not review:
#  - includes: a library sees the "<folder>/..." headers of its own folder and
#    of the libraries it links (and what those link), nothing else, so an
#    #include from a folder above does not compile;
#  - links: orvane_<folder>_link_check links the whole library with only those
#    libraries, so a call into a folder above does not link, even when the
#    function was declared by hand. A plain static library would not show it:
#    the programs and tests link everything.
# Both are part of the default build.

set(orvane_link_check_main ${PROJECT_BINARY_DIR}/layering/link_check_main.cpp)
file(CONFIGURE OUTPUT ${orvane_link_check_main} CONTENT "int main() { return 0; }\n")

# orvane_folder_library(<folder> [SOURCES files...] [USES folders...] [LIBS libraries...])
#   USES names our folders below this one; LIBS outside libraries.
function(orvane_folder_library folder)
  cmake_parse_arguments(arg "" "" "SOURCES;USES;LIBS" ${ARGN})
  set(target orvane_${folder})
  add_library(${target} STATIC ${arg_SOURCES})

  # The folder's own include root: <view>/<folder> points at src/<folder>.
  set(view ${PROJECT_BINARY_DIR}/layering/include/${folder})
  file(MAKE_DIRECTORY ${view})
  set(link ${view}/${folder})
  if(IS_SYMLINK ${link})
    file(READ_SYMLINK ${link} points_at)
  endif()
  if(NOT points_at STREQUAL "${PROJECT_SOURCE_DIR}/src/${folder}")
    file(REMOVE ${link})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${folder} ${link} SYMBOLIC)
  endif()
  target_include_directories(${target} PUBLIC ${view})

  list(TRANSFORM arg_USES PREPEND orvane_)
  target_link_libraries(${target} PUBLIC ${arg_USES} ${arg_LIBS})
  orvane_project_warnings(${target})

  add_executable(${target}_link_check ${orvane_link_check_main})
  target_link_libraries(${target}_link_check PRIVATE "$<LINK_LIBRARY:WHOLE_ARCHIVE,${target}>")
endfunction()
