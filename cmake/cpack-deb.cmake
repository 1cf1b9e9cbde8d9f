# cpack-deb.cmake -- read by cpack before it makes a package: refuses a Debian package that could not list its dependencies
#
# The Debian package's Depends line is made from the shared libraries the
# programs link: cpack recognises the programs with file and finds the
# libraries' packages with dpkg-shlibdeps (Debian package dpkg-dev). Without
# dpkg-shlibdeps it would make a package that depends on nothing and say
# little about it, so the package is refused before it is made.
if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_DEBIAN_PACKAGE_SHLIBDEPS)
  # Found means runnable, as cpack itself counts it.
  cmake_policy(PUSH)
  cmake_policy(SET CMP0109 NEW)
  set(missing "")
  foreach(tool_package IN ITEMS "dpkg-shlibdeps=dpkg-dev" "file=file")
    string(REPLACE "=" ";" pair "${tool_package}")
    list(GET pair 0 tool)
    list(GET pair 1 package)
    find_program(tool_path ${tool} NO_CACHE)
    if(NOT tool_path)
      list(APPEND missing "${tool} (Debian package ${package})")
    endif()
    unset(tool_path)
  endforeach()
  cmake_policy(POP)
  if(missing)
    list(JOIN missing " and " missing)
    message(FATAL_ERROR
      "rootzoom: a Debian package lists the libraries its programs link in its Depends line, "
      "and cpack needs ${missing} to find them. Install what is missing "
      "(apt-get install dpkg-dev file), or make the package with `make deb`, which does.")
  endif()
endif()
