# What the packages hold besides the programs, and how CPack makes them: a
# Debian package, or a zip for Windows, whose users have no man.
set(GLYPHRIP_MAINTAINER "The glyphrip authors <maintainers@users.noreply.c-seed-beb248b7.example>")
set(pages glyphrip.1 glyphcut.1 glyphsheet.1)
set(made "")

if(WIN32)
  # The manual pages as HTML, and the licence under a name Windows opens.
  find_program(MANDOC mandoc REQUIRED)
  foreach(page ${pages})
    string(REGEX REPLACE "[.]1$" ".html" html ${page})
    add_custom_command(OUTPUT ${html}
      COMMAND sh -c "'${MANDOC}' -Thtml \"$1\" >\"$2\"" sh ${PROJECT_SOURCE_DIR}/${page} ${html}
      DEPENDS ${PROJECT_SOURCE_DIR}/${page} VERBATIM)
    list(APPEND made ${PROJECT_BINARY_DIR}/${html})
  endforeach()
  install(FILES ${made} DESTINATION .)
  install(FILES LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
else()
  # Debian's layout: manual pages and changelog compressed with gzip -9n
  # (no name or time stored, so a rebuild gives the same bytes), and the
  # licence as a machine-readable copyright file.
  find_program(GZIP gzip REQUIRED)
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  foreach(page ${pages})
    add_custom_command(OUTPUT ${page}.gz
      COMMAND sh -c "'${GZIP}' -9n <\"$1\" >\"$2\"" sh ${PROJECT_SOURCE_DIR}/${page} ${page}.gz
      DEPENDS ${PROJECT_SOURCE_DIR}/${page} VERBATIM)
    install(FILES ${PROJECT_BINARY_DIR}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
    list(APPEND made ${PROJECT_BINARY_DIR}/${page}.gz)
  endforeach()
  add_custom_command(OUTPUT changelog.gz
    COMMAND Python3::Interpreter ${PROJECT_SOURCE_DIR}/cmake/debian-changelog.py
            ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_NAME} ${GLYPHRIP_MAINTAINER} changelog
    COMMAND ${GZIP} -9nf changelog
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/debian-changelog.py VERBATIM)
  list(APPEND made ${PROJECT_BINARY_DIR}/changelog.gz)

  file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
  string(REGEX REPLACE "^MIT License\n\n" "" licence "${licence}")
  string(REGEX REPLACE "\n+$" "" licence "${licence}")
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]+)" _ "${licence}")
  set(holder "${CMAKE_MATCH_1}")
  string(REGEX REPLACE "Copyright \\(c\\) [^\n]+\n\n" "" licence "${licence}")
  string(REPLACE "\n\n" "\n.\n" licence "${licence}")
  string(REPLACE "\n" "\n " licence "${licence}")
  file(WRITE ${PROJECT_BINARY_DIR}/copyright
       "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
       "Upstream-Name: ${PROJECT_NAME}\n\n"
       "Files: *\nCopyright: ${holder}\nLicense: Expat\n ${licence}\n")
  install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${GLYPHRIP_MAINTAINER})
  # Dependencies as dpkg-shlibdeps finds them in the binaries.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()
add_custom_target(package_files ALL DEPENDS ${made})

set(CPACK_PACKAGE_NAME ${PROJECT_NAME})
set(CPACK_PACKAGE_VENDOR "The glyphrip authors")
set(CPACK_PACKAGE_CONTACT ${GLYPHRIP_MAINTAINER})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "convert bitmap font pictures into raw fonts or C, and back")
set(CPACK_PACKAGE_DESCRIPTION "glyphrip turns a font drawn as a picture, a 64 x 128 one-bit BMP sheet of 128
glyphs of 8 x 8 pixels, into the 1024-byte raw font that code for boot
screens, retro and embedded displays and hobby operating systems indexes
by character code, or into C source of it. glyphcut cuts a font of any
other layout out of a picture, told its cells, gaps, scale and ink.
glyphsheet turns a raw font back into a sheet, so that an existing font
can be edited in any paint program and converted back unchanged.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR})
configure_file(${PROJECT_SOURCE_DIR}/cmake/reproducible.cmake.in reproducible.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_BINARY_DIR}/reproducible.cmake)
include(CPack)
