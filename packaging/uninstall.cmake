# Undoes `make install`: removes the files it installed, listed in MANIFEST (CMake's install
# manifests of that build folder, merged), then the folders of Corvane's own that are left empty
# (share/doc/corvane), and refreshes the desktop caches the install refreshed. Folders shared
# with other programs (bin, share/applications, share/icons/hicolor/…) stay, even when empty.
# Usage: cmake -DMANIFEST=BUILD/installed-files.txt -P packaging/uninstall.cmake
cmake_minimum_required(VERSION 3.25)

if(NOT EXISTS "${MANIFEST}")
  message(STATUS "Nothing to uninstall: no ${MANIFEST} (make install writes it)")
  return()
endif()

file(STRINGS "${MANIFEST}" installed)
set(folders)
set(data_dir)
foreach(file IN LISTS installed)
  if(EXISTS "${file}" OR IS_SYMLINK "${file}")
    message(STATUS "Removing: ${file}")
    file(REMOVE "${file}")
  endif()
  get_filename_component(folder "${file}" DIRECTORY)
  list(APPEND folders "${folder}")
  if(file MATCHES "^(.+)/applications/app\\.corvane\\.editor\\.desktop$")
    set(data_dir "${CMAKE_MATCH_1}")
  endif()
endforeach()

list(REMOVE_DUPLICATES folders)
foreach(folder IN LISTS folders)
  get_filename_component(name "${folder}" NAME)
  if(name STREQUAL "corvane" AND IS_DIRECTORY "${folder}")
    file(GLOB left LIST_DIRECTORIES true "${folder}/*" "${folder}/.*")
    if(NOT left)
      message(STATUS "Removing: ${folder}")
      # rmdir, not a recursive removal: whatever appeared meanwhile stays.
      execute_process(COMMAND rmdir "${folder}" ERROR_QUIET)
    endif()
  endif()
endforeach()
file(REMOVE "${MANIFEST}")

# The caches still name the removed desktop entry and MIME types until refreshed.
if(data_dir)
  set(CORVANE_INSTALL_DATADIR "${data_dir}")
  include("${CMAKE_CURRENT_LIST_DIR}/refresh-caches.cmake")
endif()
