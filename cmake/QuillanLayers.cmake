# Every library exports exactly its own folder: a target made from html/tree
# is included as "html/tree/document.h" by whoever links it, and by nobody
# else. The source tree's root is never an include folder; each target gets
# a folder of its own in the build tree holding one link, named as its
# folder, to that folder of the sources.
#
#   quillan_exports(TARGET FOLDER...)   FOLDER relative to the source root
function(quillan_exports target)
  get_target_property(type ${target} TYPE)
  set(scope PUBLIC)
  if(type STREQUAL "INTERFACE_LIBRARY")
    set(scope INTERFACE)
  endif()
  set(root ${CMAKE_BINARY_DIR}/include/${target})
  foreach(folder IN LISTS ARGN)
    get_filename_component(parent ${root}/${folder} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()
