# Strict warnings for our own targets only; third-party headers come in as SYSTEM.
function(sonivate_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wconversion -Wshadow -Werror)
endfunction()
