# Warnings on for the project's own targets; errors too with QUILLAN_WERROR
# (on in the presets, off for other builds such as a distribution's).
function(quillan_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
    -Wnon-virtual-dtor -Wcast-align -Woverloaded-virtual)
  if(QUILLAN_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()
