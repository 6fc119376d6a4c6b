# Strict warnings for our own targets only; third-party headers come in as
# SYSTEM. -Werror is for our CI and ./test.sh; people building from source
# with another compiler get the warnings without failing the build.
option(SONIVATE_WERROR "Treat warnings as errors" OFF)

add_library(sonivate_warnings INTERFACE)
target_compile_options(sonivate_warnings INTERFACE
  -Wall -Wextra -Wconversion -Wshadow
  $<$<BOOL:${SONIVATE_WERROR}>:-Werror>)
# GCC 12 at -O2/-O3 reports impossible overlaps inside std::string's own
# insert/replace (GCC bugs 105329, 105651); the check is sound on other compilers.
# At -O1 with the sanitizers it also reports the inactive members of a copied
# std::variant as maybe uninitialized, a false positive of the same compilers.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  target_compile_options(sonivate_warnings INTERFACE -Wno-restrict -Wno-maybe-uninitialized)
endif()

function(sonivate_warnings target)
  target_link_libraries(${target} PRIVATE sonivate_warnings)
endfunction()
