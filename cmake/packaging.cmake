# What the packages hold and how CPack makes them (scripts/package.sh runs it):
# the Windows build gives Orvalintex-<version>-win32.zip, which unpacks into
# one folder Orvalintex-<version>/ holding both programs and the user's
# documents as Windows text; a Linux build without sanitizers gives the
# command-line program as orvalintex-cli_<version>_<arch>.deb, with its manual
# page, bash completion and documents. The sanitizer build has none.

# Packaging builds only what goes in the package, not the tests.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Orvalintex")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "find and repair zero-filled damage in files such as AVI video")
set(CPACK_PACKAGE_CONTACT "Orvalintex maintainers <maintainers@users.noreply.c-seed-7b039692.example>")
set(CPACK_STRIP_FILES ON)

set(notices ${CMAKE_SOURCE_DIR}/cmake/notices.sh)
set(windows_text ${CMAKE_SOURCE_DIR}/cmake/windows_text.sh)

if(WIN32)
  # The notices of what the programs carry, from the files the cross compiler
  # links (and the headers the command line includes): "what|file" each.
  foreach(part libmingw32.a libwinpthread.a libgcc.a libstdc++.a)
    execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${part}
                    OUTPUT_VARIABLE ${part} OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  endforeach()
  set(gcc_exception "GPL-3.0-or-later with the GCC Runtime Library Exception 3.1")
  set(parts
    "CLI11, command-line parsing, in orvalintex-cli.exe (BSD-3-Clause)|${CLI11_INCLUDE_DIR}/CLI/CLI.hpp"
    "nlohmann/json, JSON output, in orvalintex-cli.exe (MIT)|${NLOHMANN_JSON_INCLUDE_DIR}/nlohmann/json.hpp"
    "mingw-w64 runtime, the C runtime's start-up and support code, in both programs|${libmingw32.a}"
    "winpthreads, mingw-w64's POSIX threads, in orvalintex-cli.exe|${libwinpthread.a}"
    "libgcc, GCC's low-level runtime, in both programs (${gcc_exception})|${libgcc.a}"
    "libstdc++, GCC's C++ library, in orvalintex-cli.exe (${gcc_exception})|${libstdc++.a}")

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
  # Made again on every build, so that the texts of the packages installed now
  # are the ones that ship.
  set(third_party ${zip_docs}/THIRD-PARTY-NOTICES.txt)
  add_custom_target(zip-docs ALL
    COMMAND sh ${notices} zip ${third_party}.lf ${PROJECT_VERSION} ${parts}
    COMMAND sh ${windows_text} ${third_party}.lf ${third_party}
    DEPENDS ${docs} BYPRODUCTS ${third_party} VERBATIM)

  install(TARGETS Orvalintex orvalintex-cli RUNTIME DESTINATION Orvalintex-${PROJECT_VERSION})
  install(FILES ${docs} ${third_party} DESTINATION Orvalintex-${PROJECT_VERSION})
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME Orvalintex-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)  # the one folder is in the paths above
  include(CPack)
elseif(NOT ORVALINTEX_SANITIZE)
  # The manual page is written by hand and names the version it describes.
  set(man_source ${CMAKE_SOURCE_DIR}/docs/orvalintex-cli.1)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${man_source})
  file(STRINGS ${man_source} man_title REGEX "^\\.TH ")
  if(NOT man_title MATCHES " \"Orvalintex ${PROJECT_VERSION}\" ")
    message(FATAL_ERROR "docs/orvalintex-cli.1: its title (${man_title}) does not give the "
      "project's version ${PROJECT_VERSION}")
  endif()

  # The Debian documents: compressed as Debian wants them, the changelog in
  # Debian's format from CHANGELOG.md, the copyright file machine-readable
  # with the paragraphs of the two libraries from their own packages.
  set(deb_docs ${CMAKE_BINARY_DIR}/deb)
  file(MAKE_DIRECTORY ${deb_docs})
  set(man ${deb_docs}/orvalintex-cli.1.gz)
  set(changelog ${deb_docs}/changelog.gz)
  set(guide ${deb_docs}/使い方.md.gz)
  set(copyright ${deb_docs}/copyright)
  set(changelog_script ${CMAKE_SOURCE_DIR}/cmake/deb/changelog.sh)
  add_custom_command(OUTPUT ${man}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${man_source} ${man}
    DEPENDS ${man_source} VERBATIM)
  add_custom_command(OUTPUT ${guide}
    COMMAND sh -c "gzip -9n < \"$0\" > \"$1\"" ${CMAKE_SOURCE_DIR}/docs/使い方.md ${guide}
    DEPENDS docs/使い方.md VERBATIM)
  add_custom_command(OUTPUT ${changelog}
    COMMAND sh ${changelog_script} ${CMAKE_SOURCE_DIR}/CHANGELOG.md orvalintex-cli
            ${PROJECT_VERSION} ${CPACK_PACKAGE_CONTACT} ${deb_docs}/changelog
    COMMAND gzip -9nf ${deb_docs}/changelog
    DEPENDS CHANGELOG.md ${changelog_script} VERBATIM)
  # The copyright file is made again on every build, as the zip's notices are.
  add_custom_target(deb-docs ALL
    COMMAND sh ${notices} deb ${copyright} ${CMAKE_SOURCE_DIR}/LICENSE
            ${CMAKE_SOURCE_DIR}/cmake/deb/copyright.in
            "CLI11 (https://github.com/CLIUtils/CLI11)|CLI|${CLI11_INCLUDE_DIR}/CLI/CLI.hpp"
            "nlohmann/json (https://github.com/nlohmann/json)|nlohmann|${NLOHMANN_JSON_INCLUDE_DIR}/nlohmann/json.hpp"
    DEPENDS ${man} ${guide} ${changelog} BYPRODUCTS ${copyright} VERBATIM)

  install(TARGETS orvalintex-cli RUNTIME DESTINATION bin)
  install(FILES ${man} DESTINATION share/man/man1)
  install(FILES ${copyright} ${changelog} ${guide} cmake/deb/README
          DESTINATION share/doc/orvalintex-cli)
  install(FILES completions/orvalintex-cli.bash RENAME orvalintex-cli
          DESTINATION share/bash-completion/completions)

  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGE_NAME orvalintex-cli)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_PACKAGE_DESCRIPTION
    "Orvalintex looks for runs of zero bytes, which unreadable sectors leave in\n"
    "files copied off failing discs, and rebuilds a damaged file from other,\n"
    "differently damaged copies of it. This package holds its command-line\n"
    "program, orvalintex-cli, for scripts and terminals.")
  string(REPLACE ";" "" CPACK_PACKAGE_DESCRIPTION "${CPACK_PACKAGE_DESCRIPTION}")
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION utils)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  include(CPack)
endif()
