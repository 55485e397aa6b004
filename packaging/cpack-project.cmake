# Read by cpack for each generator, in the process that then runs the install rules.

# Tells refresh-caches.cmake that this install is a package's staging, whether or not the
# generator stages through DESTDIR.
set(ENV{CORVANE_PACKAGE_STAGING} 1)

if(CPACK_GENERATOR STREQUAL "DEB" AND CPACK_CORVANE_UPDATE_CHECK)
  message(WARNING "This build checks for updates itself, which a package managed by apt should "
                  "not: configure it with -DCORVANE_UPDATE_CHECK=OFF (`make package` does).")
endif()
