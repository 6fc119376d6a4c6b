# Strict warnings for our own targets only; third-party headers come in as SYSTEM.
function(sonivate_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wconversion -Wshadow -Werror)
  # GCC 12 at -O2/-O3 reports impossible overlaps inside std::string's own
  # insert/replace (GCC bugs 105329, 105651); the check is sound on other compilers.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()
