# Runs at install time, and after `make uninstall`. Each cache tool is optional and a failure
# never fails the install: a desktop without a fresh cache still finds the files, only later.
# Never into a staged tree (DESTDIR, or cpack's staging, which cpack-project.cmake marks): there
# the package manager's triggers refresh the system's caches, and a cache in the package would
# clash with them.
if(NOT "$ENV{DESTDIR}" STREQUAL "" OR DEFINED ENV{CORVANE_PACKAGE_STAGING})
  return()
endif()

if(IS_ABSOLUTE "${CORVANE_INSTALL_DATADIR}")
  set(data "${CORVANE_INSTALL_DATADIR}")
else()
  set(data "${CMAKE_INSTALL_PREFIX}/${CORVANE_INSTALL_DATADIR}")
endif()

function(corvane_refresh tool dir)
  find_program(tool_path ${tool} NO_CACHE)
  if(NOT tool_path OR NOT IS_DIRECTORY "${dir}")
    return()
  endif()
  message(STATUS "Refreshing: ${tool} ${dir}")
  execute_process(COMMAND "${tool_path}" ${ARGN} "${dir}"
                  RESULT_VARIABLE result OUTPUT_QUIET ERROR_VARIABLE errors)
  if(NOT result EQUAL 0)
    message(STATUS "${tool} failed (ignored): ${result} ${errors}")
  endif()
endfunction()

corvane_refresh(update-mime-database "${data}/mime")
corvane_refresh(update-desktop-database "${data}/applications" -q)
# Only a theme folder with its index: a per-user hicolor folder has none, and GTK reads it
# without a cache.
if(EXISTS "${data}/icons/hicolor/index.theme")
  corvane_refresh(gtk-update-icon-cache "${data}/icons/hicolor" -q -f)
endif()
