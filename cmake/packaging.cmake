# Install rules and packages.
#
#   cmake --install build --prefix /usr/local    the tool, its manual page and
#                                                documents in the usual places
#   cpack --config build/CPackConfig.cmake       a Debian package (Linux) or a
#                                                ZIP of the executable (Windows)
#
# scripts/package.sh builds the Debian package with Debian's hardening flags
# and checks it with lintian.
include(GNUInstallDirs)

set(CVSPAM_PACKAGE_MAINTAINER "cvspamcmd maintainers <cvspamcmd@example.org>" CACHE STRING
    "Maintainer named in the Debian package")

set(CPACK_PACKAGE_NAME cvspamcmd)
set(CPACK_PACKAGE_VENDOR "cvspamcmd maintainers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "train and test the token dictionaries of a Bayesian spam filter")
set(CPACK_STRIP_FILES ON)
# Directories made by the package are 0755 whatever the builder's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  # One folder: the executable, needing no DLLs, with its documents beside it.
  install(TARGETS cvspamcmd RUNTIME DESTINATION .)
  install(FILES README.md docs/registry.example.reg DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  include(CPack)
  return()
endif()

# Debian's policy wants the manual page and the package's changelog
# compressed with gzip -9n (no name or time stamp, so builds are
# reproducible).
find_program(CVSPAM_GZIP gzip REQUIRED)
set(CVSPAM_PACKAGE_DOCS ${CMAKE_CURRENT_BINARY_DIR}/package-docs)
add_custom_command(
  OUTPUT ${CVSPAM_PACKAGE_DOCS}/cvspamcmd.1.gz ${CVSPAM_PACKAGE_DOCS}/changelog.Debian.gz
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CVSPAM_PACKAGE_DOCS}
  COMMAND ${CVSPAM_GZIP} -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/docs/cvspamcmd.1
          > ${CVSPAM_PACKAGE_DOCS}/cvspamcmd.1.gz
  COMMAND ${CVSPAM_GZIP} -9n -c ${CMAKE_CURRENT_SOURCE_DIR}/docs/changelog.Debian
          > ${CVSPAM_PACKAGE_DOCS}/changelog.Debian.gz
  DEPENDS docs/cvspamcmd.1 docs/changelog.Debian
  COMMENT "Compressing the manual page and the package changelog"
  VERBATIM)
add_custom_target(cvspam_package_docs ALL
  DEPENDS ${CVSPAM_PACKAGE_DOCS}/cvspamcmd.1.gz ${CVSPAM_PACKAGE_DOCS}/changelog.Debian.gz)

install(TARGETS cvspamcmd RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CVSPAM_PACKAGE_DOCS}/cvspamcmd.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES README.md docs/registry.example.reg docs/copyright
              ${CVSPAM_PACKAGE_DOCS}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DOCDIR})
install(FILES docs/cvspamcmd.lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME cvspamcmd)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CVSPAM_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION admin)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The run-time libraries (pugixml, the C++ library) are found by
# dpkg-shlibdeps from what the executable links.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# CPack puts the summary above this as the synopsis line.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "cvspamcmd is the command-line training and testing utility of a mail
server's Bayesian spam filter. It creates a token dictionary from a folder
of spam and a folder of ham, merges more mail into it, prunes it, scores a
message, verifies a folder of messages with a report of their scores, and
notifies the mail server through its registry to reload or save its
dictionaries.
.
On Linux the mail server's registry and event log are files in a host
folder (CVSPAM_HOST_DIR, by default /var/lib/cvspamcmd), where a registry
key exported on the Windows host can be used as it is.")

include(CPack)
