# Each target sees only the headers of the folders it links.
#
# Sources include headers as "folder/file.h" from src/. Instead of putting
# src/ itself on the include path (which would let any folder reach any
# other), every library gets an include root of its own in the build tree
# that holds a single link to its own folder. A target therefore finds the
# headers of its own folder and of the libraries it links (PUBLIC include
# directories travel with the link), and nothing else: the core cannot see
# app/, and the Qt-free list model sees neither Qt nor the widgets.

set(SONIVATE_INCLUDE_ROOTS ${PROJECT_BINARY_DIR}/include)

# sonivate_own_headers(target [PRIVATE]): makes the headers of the folder of
# the calling CMakeLists.txt reachable as "<folder below src>/file.h" for
# the target and (unless PRIVATE, as for executables) for whatever links it.
function(sonivate_own_headers target)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set(root ${SONIVATE_INCLUDE_ROOTS}/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT IS_SYMLINK ${root}/${folder})
    file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${root}/${folder} SYMBOLIC)
  endif()
  if(ARGV1 STREQUAL "PRIVATE")
    target_include_directories(${target} PRIVATE ${root})
  else()
    target_include_directories(${target} PUBLIC ${root})
  endif()
endfunction()
