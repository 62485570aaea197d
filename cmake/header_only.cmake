# header_only(VAR HEADER FOLDER LINKS): finds the header-only Debian package
# that holds FOLDER/HEADER, and links FOLDER into the build folder LINKS, so
# that the cross compiler sees only that folder, never the rest of the host's
# headers. VAR (a cache variable) gets where it was found.
function(header_only var header folder links)
  find_path(${var} ${folder}/${header} NO_CMAKE_FIND_ROOT_PATH)
  if(NOT ${var})
    message(FATAL_ERROR "${folder}/${header} is missing: run scripts/setup.sh")
  endif()
  file(MAKE_DIRECTORY ${links})
  file(CREATE_LINK ${${var}}/${folder} ${links}/${folder} SYMBOLIC)
endfunction()
