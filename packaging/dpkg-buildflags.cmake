# Debian's build flags for the package's build tree: fortified functions,
# stack protector, format checks, full RELRO and immediate binding, as
# dpkg-buildflags gives them (lintian: hardening-no-bindnow,
# hardening-no-fortify-functions). Use it as an initial cache,
#   cmake -S . -B build/release -C packaging/dpkg-buildflags.cmake -DCMAKE_BUILD_TYPE=Release
# or include() it before the first target. Without dpkg-buildflags it does
# nothing.
find_program(SONIVATE_DPKG_BUILDFLAGS dpkg-buildflags)
if(SONIVATE_DPKG_BUILDFLAGS)
  set(ENV{DEB_BUILD_MAINT_OPTIONS} "hardening=+all")
  foreach(flags CPPFLAGS CFLAGS CXXFLAGS LDFLAGS)
    execute_process(COMMAND ${SONIVATE_DPKG_BUILDFLAGS} --get ${flags}
      OUTPUT_VARIABLE SONIVATE_DEB_${flags} OUTPUT_STRIP_TRAILING_WHITESPACE)
  endforeach()
  set(CMAKE_C_FLAGS "${SONIVATE_DEB_CPPFLAGS} ${SONIVATE_DEB_CFLAGS}" CACHE STRING "Debian build flags" FORCE)
  set(CMAKE_CXX_FLAGS "${SONIVATE_DEB_CPPFLAGS} ${SONIVATE_DEB_CXXFLAGS}" CACHE STRING "Debian build flags" FORCE)
  foreach(kind EXE SHARED MODULE)
    set(CMAKE_${kind}_LINKER_FLAGS "${SONIVATE_DEB_LDFLAGS}" CACHE STRING "Debian build flags" FORCE)
  endforeach()
endif()
