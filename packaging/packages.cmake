# Installing and packaging: the program and its man page (cmake --install, make install), and the
# packages (make package): .debs and an RPM of the Linux program, a .zip of the 32-bit Windows
# program. Included from CMakeLists.txt, so relative paths are the source tree's.
include(GNUInstallDirs)
if(WIN32)
  install(TARGETS knockbox RUNTIME DESTINATION .)
  # A README for Windows users and the license, as text with Windows line ends, beside the program.
  configure_file(packaging/README-windows.txt README.txt @ONLY NEWLINE_STYLE CRLF)
  configure_file(LICENSE LICENSE.txt @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/LICENSE.txt DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
else()
  # Each package holds the program and its man page, and the license where its system keeps
  # licenses: a .deb Debian's copyright file (and changelog), an RPM the license under
  # /usr/share/licenses. packaging/cpack-components.cmake gives each kind its components;
  # make install installs what a .deb holds.
  install(TARGETS knockbox RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT program)
  add_custom_command(OUTPUT knockbox.1.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/doc/knockbox.1 > knockbox.1.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/doc/knockbox.1)
  add_custom_command(OUTPUT changelog.gz
    COMMAND gzip -9n -c ${PROJECT_SOURCE_DIR}/packaging/changelog > changelog.gz
    DEPENDS ${PROJECT_SOURCE_DIR}/packaging/changelog)
  add_custom_target(knockbox_docs ALL DEPENDS knockbox.1.gz changelog.gz)
  install(FILES ${CMAKE_BINARY_DIR}/knockbox.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT program)
  install(FILES ${PROJECT_SOURCE_DIR}/packaging/copyright ${CMAKE_BINARY_DIR}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DOCDIR} COMPONENT debian)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/licenses/knockbox
          COMPONENT rpm EXCLUDE_FROM_ALL)
  set(CPACK_PROJECT_CONFIG_FILE ${PROJECT_SOURCE_DIR}/packaging/cpack-components.cmake)
  set(CPACK_COMPONENTS_GROUPING ALL_COMPONENTS_IN_ONE)
  set(CPACK_DEB_COMPONENT_INSTALL ON)
  set(CPACK_RPM_COMPONENT_INSTALL ON)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  # The summary line comes from CPACK_PACKAGE_DESCRIPTION_SUMMARY; this is the rest.
  set(description [=[
Knockbox connects to a TCP port, reports the outcome and closes the
connection politely; on port 23 it shows what the Telnet server says.
With a loop time it probes again and again until a probe fails or Escape
is pressed. Scripts read its exit code: 10 when a probe failed, 1 when
Escape ended the run, 0 otherwise.]=])

  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION net)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "${description}")
  if(CMAKE_CROSSCOMPILING)
    # dpkg-shlibdeps knows this machine's C library only, so the ARM package states the need
    # itself: make package checks it against the highest glibc symbol version in the program.
    set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE arm64)
    set(CPACK_DEBIAN_PACKAGE_DEPENDS "libc6 (>= 2.34)")
    set(CPACK_GENERATOR DEB)
  else()
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
    set(CPACK_GENERATOR DEB RPM)
  endif()

  # rpmbuild finds the program's library needs itself (libc.so.6 with its symbol versions).
  set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
  set(CPACK_RPM_PACKAGE_LICENSE MIT)
  set(CPACK_RPM_PACKAGE_GROUP Applications/Internet)
  set(CPACK_RPM_PACKAGE_DESCRIPTION "${description}")
  set(CPACK_RPM_USER_FILELIST "%license /usr/share/licenses/knockbox/LICENSE")
  # The RPM's changelog: the history of packaging/changelog, each entry in RPM's form
  # ("* Mon Dec 07 2026 NAME <EMAIL> - 1.0-1", then "- " and each item).
  file(READ ${PROJECT_SOURCE_DIR}/packaging/changelog debian_changelog)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS packaging/changelog)
  string(REPLACE ";" "<semicolon>" debian_changelog "${debian_changelog}")
  string(REPLACE "\n" ";" debian_changelog "${debian_changelog}")
  set(rpm_changelog "")
  foreach(line IN LISTS debian_changelog)
    if(line MATCHES "^[^ ]+ \\(([^)]+)\\)")
      set(version ${CMAKE_MATCH_1})
      set(items "")
    elseif(line MATCHES "^  \\* (.*)")
      string(APPEND items "\n- ${CMAKE_MATCH_1}")
    elseif(line MATCHES "^    (.*)")
      string(APPEND items " ${CMAKE_MATCH_1}")
    elseif(line MATCHES "^ -- (.+>)  ([A-Z][a-z][a-z]), ([0-9]+) ([A-Z][a-z][a-z]) ([0-9]+) ")
      string(APPEND rpm_changelog "* ${CMAKE_MATCH_2} ${CMAKE_MATCH_4} ${CMAKE_MATCH_3} "
                                  "${CMAKE_MATCH_5} ${CMAKE_MATCH_1} - ${version}-1${items}\n\n")
    endif()
  endforeach()
  string(REPLACE "<semicolon>" ";" rpm_changelog "${rpm_changelog}")
  file(WRITE ${CMAKE_BINARY_DIR}/rpm-changelog "${rpm_changelog}")
  set(CPACK_RPM_CHANGELOG_FILE ${CMAKE_BINARY_DIR}/rpm-changelog)
  # A plain package: no links for debug information that is not shipped, no moving it elsewhere.
  # Its build time and file times are SOURCE_DATE_EPOCH, and it names no build machine.
  set(CPACK_RPM_SPEC_MORE_DEFINE "%define _build_id_links none
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1
%define _buildhost reproducible")
  set(CPACK_PACKAGE_RELOCATABLE OFF)
  # Directories that the system's own packages own.
  set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION
      /usr/share/man /usr/share/man/man1 /usr/share/licenses)
endif()
set(CPACK_PACKAGE_NAME knockbox)
set(CPACK_PACKAGE_VENDOR "the Knockbox authors")
set(CPACK_PACKAGE_CONTACT "the Knockbox authors <knockbox@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "tell whether a TCP port on a host accepts connections")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# Folders in the packages get the same permissions whatever the packager's umask.
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
include(CPack)
