# The Debian package of the Linux program and simulator: `cpack` in the build
# tree makes voren-cp852_<version>_<arch>.deb. The programs in /usr/bin, the
# glyph drawings under /usr/share (their install rules), a man page each, the
# licence and the changelog.

set(VOREN_DEB_MAINTAINER "voren-cp852 developers <voren-cp852@example.org>"
    CACHE STRING "Maintainer field of the Debian package")

# The changelog speaks for the release: its newest entry must be this version.
file(STRINGS ${PROJECT_SOURCE_DIR}/docs/changelog newest LIMIT_COUNT 1)
if(NOT newest MATCHES "^voren-cp852 \\(${PROJECT_VERSION}\\) ")
  message(FATAL_ERROR "docs/changelog starts with '${newest}'; "
                      "add an entry for version ${PROJECT_VERSION} at its top")
endif()

# Debian wants man pages and changelogs gzipped, without a name or a time
# stamp in the header so the same sources give the same package.
set(packaged_docs)
function(voren_gzip source gzipped)
  add_custom_command(
    OUTPUT ${gzipped}
    COMMAND gzip -9n -c ${source} > ${gzipped}
    DEPENDS ${source}
    VERBATIM)
  set(packaged_docs ${packaged_docs} ${gzipped} PARENT_SCOPE)
endfunction()

# The man page of the font generator names where the package puts the drawings.
set(VOREN_PACKAGED_DRAWINGS /usr/${VOREN_DRAWINGS_DIR})
foreach(program voren-cp852 voren-sim voren-glyphs voren-make-glyph-table)
  configure_file(docs/man/${program}.1.in man/${program}.1 @ONLY)
  voren_gzip(${PROJECT_BINARY_DIR}/man/${program}.1 ${PROJECT_BINARY_DIR}/man/${program}.1.gz)
  install(FILES ${PROJECT_BINARY_DIR}/man/${program}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
voren_gzip(${PROJECT_SOURCE_DIR}/docs/changelog ${PROJECT_BINARY_DIR}/changelog.gz)
add_custom_target(packaged_docs ALL DEPENDS ${packaged_docs})

# The licence in Debian's machine-readable copyright format: the MIT text
# after its title and copyright line, each line indented, blank lines as " .".
file(READ ${PROJECT_SOURCE_DIR}/LICENSE licence)
string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" _ "${licence}")
set(holders "${CMAKE_MATCH_1}")
string(REGEX REPLACE "^.*Copyright \\(c\\) [^\n]*\n\n" "" terms "${licence}")
string(REGEX REPLACE "\n$" "" terms "${terms}")
string(REGEX REPLACE "\n\n" "\n.\n" terms "${terms}")
string(REGEX REPLACE "\n" "\n " terms "${terms}")
file(WRITE ${PROJECT_BINARY_DIR}/copyright
     "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
     "Upstream-Name: voren-cp852\n\n"
     "Files: *\nCopyright: ${holders}\nLicense: Expat\n ${terms}\n")

install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "writes the code page 852 character set into VOREN receipt printers")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "voren-cp852 uploads the code page 852 (Latin-2) glyph table into a VOREN
receipt printer over a serial line, in 144 CRC-checked blocks, asking the
operator for the port or unattended from the command line.

voren-sim is a simulated VOREN printer on a pseudo-terminal, for trying the
program without a printer.

For an operator's own font: the drawings of the built-in glyphs, the
generator that makes a table file from a copy of them
(voren-make-glyph-table) and voren-glyphs, which draws a table as PNG
pictures.")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VOREN_DEB_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# dpkg-shlibdeps declares what the programs link against (libpng, libstdc++).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# voren-make-glyph-table is a Python 3 script.
set(CPACK_DEBIAN_PACKAGE_DEPENDS python3)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/package)
include(CPack)
