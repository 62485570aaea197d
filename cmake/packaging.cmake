# What the packages hold and how CPack makes them (scripts/package.sh runs it):
# the Windows build gives Orvalintex-<version>-win32.zip, which unpacks into
# one folder Orvalintex-<version>/ holding both programs and the user's
# documents as Windows text; a Linux build without sanitizers gives the
# command-line program as orvalintex-cli_<version>_<arch>.deb. The sanitizer
# build has none.

# Packaging builds only what goes in the package, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvalintex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and repair zero-filled damage in files such as AVI video")
set(CPACK_PACKAGE_CONTACT "Orvalintex maintainers <maintainers@users.noreply.c-seed-7b039692.example>")
set(CPACK_STRIP_FILES ON)

set(windows_text ${CMAKE_SOURCE_DIR}/cmake/windows_text.sh)

if(WIN32)
  # Every document as a Windows user opens it: .txt, CRLF, a BOM when not ASCII.
  set(zip_docs ${CMAKE_BINARY_DIR}/zip)
  file(MAKE_DIRECTORY ${zip_docs})
  set(docs)
  foreach(doc "cmake/zip/README.txt|README.txt" "docs/使い方.md|使い方.txt" "LICENSE|LICENSE.txt"
              "CHANGELOG.md|CHANGELOG.txt")
    string(REGEX REPLACE "\\|.*" "" from "${doc}")
    string(REGEX REPLACE ".*\\|" "${zip_docs}/" to "${doc}")
    add_custom_command(OUTPUT ${to} COMMAND sh ${windows_text} ${CMAKE_SOURCE_DIR}/${from} ${to}
                       DEPENDS ${from} ${windows_text} VERBATIM)
    list(APPEND docs ${to})
  endforeach()
  add_custom_target(zip-docs ALL DEPENDS ${docs})

  install(TARGETS Orvalintex orvalintex-cli RUNTIME DESTINATION Orvalintex-${PROJECT_VERSION})
  install(FILES ${docs} DESTINATION Orvalintex-${PROJECT_VERSION})
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Orvalintex-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)  # the one folder is in the paths above
  include(CPack)
elseif(NOT ORVALINTEX_SANITIZE)
  # The manual page from the program's own --help and --version, and the
  # Debian documents, compressed as Debian wants them.
  set(man ${CMAKE_BINARY_DIR}/orvalintex-cli.1)
  set(changelog ${CMAKE_BINARY_DIR}/changelog.gz)
  add_custom_command(OUTPUT ${man}.gz
    COMMAND help2man --no-info --name "${CPACK_PACKAGE_DESCRIPTION_SUMMARY}"
            --output ${man} $<TARGET_FILE:orvalintex-cli>
    COMMAND gzip -9nf ${man}
    DEPENDS orvalintex-cli VERBATIM)
  # The changelog in Debian's format, from CHANGELOG.md.
  set(changelog_script ${CMAKE_SOURCE_DIR}/cmake/deb/changelog.sh)
  add_custom_command(OUTPUT ${changelog}
    COMMAND sh ${changelog_script} ${CMAKE_SOURCE_DIR}/CHANGELOG.md orvalintex-cli
            ${PROJECT_VERSION} ${CPACK_PACKAGE_CONTACT} ${CMAKE_BINARY_DIR}/changelog
    COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/changelog
    DEPENDS CHANGELOG.md ${changelog_script} VERBATIM)
  add_custom_target(orvalintex-cli-docs ALL DEPENDS ${man}.gz ${changelog})

  install(TARGETS orvalintex-cli RUNTIME DESTINATION bin)
  install(FILES ${man}.gz DESTINATION share/man/man1)
  install(FILES cmake/deb/copyright ${changelog} DESTINATION share/doc/orvalintex-cli)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME orvalintex-cli)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_DESCRIPTION
    "Orvalintex looks for runs of zero bytes, which unreadable sectors leave in\n"
    "files copied off failing discs, and rebuilds a damaged file from a second,\n"
    "differently damaged copy of it. This package holds its command-line\n"
    "program, orvalintex-cli, for scripts and terminals.")
  string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  include(CPack)
endif()
