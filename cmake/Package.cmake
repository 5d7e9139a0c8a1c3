# The Debian package: "make package" (cpack -G DEB) builds
# quarn-dash_<version>_<arch>.deb with the three programs, their manual
# pages, the desktop entry and icon, and the README. Its dependencies are
# the Debian packages of the shared libraries the programs link
# (dpkg-shlibdeps), plus the fonts the windows are drawn with.

include(GNUInstallDirs)

# Manual pages from each program's --help, with the sections --help has no
# room for from packaging/<program>.h2m. The program is found through PATH
# so that its usage line names it, not the build folder. quarn-log's "Exit
# status:" paragraph would stay a part of OPTIONS: sed makes it a section.
find_program(QUARN_HELP2MAN help2man)
if(QUARN_HELP2MAN)
  set(quarn_man_pages)
  foreach(entry
      "quarn-dash|monitor and log EEC-IV engine computers through the Quarn-IV logger"
      "quarn-log|inspect and export Quarn Dash log files"
      "quarn-boxsim|simulate the Quarn-IV logger box on a pseudo-terminal")
    string(REPLACE "|" ";" entry "${entry}")
    list(GET entry 0 program)
    list(GET entry 1 summary)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1.gz)
    set(include ${CMAKE_SOURCE_DIR}/packaging/${program}.h2m)
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${program}>:$ENV{PATH}"
              QT_QPA_PLATFORM=offscreen
              ${QUARN_HELP2MAN} --no-info --no-discard-stderr
              "--version-string=${PROJECT_VERSION}" "--name=${summary}"
              --include=${include}
              --output=${CMAKE_BINARY_DIR}/man/${program}.1 ${program}
      COMMAND sed -i [[/^\.SS "Exit status:"$/{N;s/.*\n\.IP$/.SH "EXIT STATUS"/}]]
              ${CMAKE_BINARY_DIR}/man/${program}.1
      COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/man/${program}.1
      DEPENDS ${program} ${include}
      COMMENT "Manual page of ${program}"
      VERBATIM)
    list(APPEND quarn_man_pages ${page})
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${quarn_man_pages})
  install(FILES ${quarn_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: the package will have no manual pages")
endif()

set(quarn_doc ${CMAKE_INSTALL_DATADIR}/doc/quarn-dash)
install(FILES README.md packaging/copyright DESTINATION ${quarn_doc})

# Debian's changelog, compressed without a name or time stamp so that the
# same source gives the same package.
set(quarn_changelog ${CMAKE_BINARY_DIR}/packaging/changelog.gz)
add_custom_command(OUTPUT ${quarn_changelog}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/packaging
  COMMAND gzip -9n -c ${CMAKE_SOURCE_DIR}/packaging/changelog > ${quarn_changelog}
  DEPENDS ${CMAKE_SOURCE_DIR}/packaging/changelog
  COMMENT "Debian changelog")
add_custom_target(changelog ALL DEPENDS ${quarn_changelog})
install(FILES ${quarn_changelog} DESTINATION ${quarn_doc})

install(FILES packaging/lintian-overrides DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides
  RENAME quarn-dash)

# The stripped programs still carry the compilers' version strings and a
# .note section; Debian's own packages leave both out.
if(CMAKE_STRIP)
  install(CODE "
    if(CMAKE_INSTALL_DO_STRIP)
      foreach(program quarn-dash quarn-log quarn-boxsim)
        execute_process(COMMAND \"${CMAKE_STRIP}\" --remove-section=.comment --remove-section=.note
          \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/\${program}\"
          COMMAND_ERROR_IS_FATAL ANY)
      endforeach()
    endif()")
endif()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarn-dash)
set(CPACK_PACKAGE_VENDOR "Quarn Dash")
set(CPACK_PACKAGE_CONTACT "Quarn Dash developers <dev@quarndash.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "dashboard and data logger for EEC-IV engine computers")
set(CPACK_PACKAGE_DESCRIPTION
  "Quarn Dash monitors and logs Ford EEC-IV engine computers through the
Quarn-IV serial logger box: fifteen dial gauges, strip-chart scopes,
recording and playback of logs, and the self-test and TPS tools.
Includes quarn-log (log information and CSV export) and quarn-boxsim
(a simulated logger box on a pseudo-terminal).")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION electronics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the programs link (Qt, QCustomPlot, and muParser once a
# window uses the formulas) come from dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Dialogs and gauges are laid out for Liberation Sans.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2")
set(CPACK_PACKAGE_DIRECTORY ${CMAKE_BINARY_DIR}/package)
set(CPACK_STRIP_FILES ON)
include(CPack)

# The package's file list and declared dependencies. The package is built
# as the fixture of its check (a few seconds), from the programs the suite
# has just tested.
find_program(QUARN_DPKG_DEB dpkg-deb)
if(QUARN_DPKG_DEB)
  add_test(NAME package_build
    COMMAND ${CMAKE_CPACK_COMMAND} --config ${CMAKE_BINARY_DIR}/CPackConfig.cmake -G DEB)
  set_tests_properties(package_build PROPERTIES FIXTURES_SETUP deb LABELS package)
  add_test(NAME package_contents
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-package.sh ${CMAKE_BINARY_DIR}/package)
  set_tests_properties(package_contents PROPERTIES FIXTURES_REQUIRED deb LABELS package)
  # Debian's own checks of the package: no error, warning or note may stand.
  # About ten seconds; the script says so when lintian is not installed.
  add_test(NAME package_lintian
    COMMAND ${CMAKE_SOURCE_DIR}/scripts/check-lintian.sh ${CMAKE_BINARY_DIR}/package)
  set_tests_properties(package_lintian PROPERTIES FIXTURES_REQUIRED deb LABELS package)
endif()
