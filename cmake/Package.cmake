# The Debian package: "make package" (cpack -G DEB) builds
# quarn-dash_<version>_<arch>.deb with the three programs, their manual
# pages, the desktop entry and icon, and the README. Its dependencies are
# the Debian packages of the shared libraries the programs link
# (dpkg-shlibdeps), plus the fonts the windows are drawn with.

include(GNUInstallDirs)

# Manual pages from each program's --help. The program is found through PATH
# so that its usage line names it, not the build folder.
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
    add_custom_command(OUTPUT ${page}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${CMAKE_COMMAND} -E env "PATH=$<TARGET_FILE_DIR:${program}>:$ENV{PATH}"
              QT_QPA_PLATFORM=offscreen
              ${QUARN_HELP2MAN} --no-info --no-discard-stderr
              "--version-string=${PROJECT_VERSION}" "--name=${summary}"
              --output=${CMAKE_BINARY_DIR}/man/${program}.1 ${program}
      COMMAND gzip -9nf ${CMAKE_BINARY_DIR}/man/${program}.1
      DEPENDS ${program}
      COMMENT "Manual page of ${program}"
      VERBATIM)
    list(APPEND quarn_man_pages ${page})
  endforeach()
  add_custom_target(manpages ALL DEPENDS ${quarn_man_pages})
  install(FILES ${quarn_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man not found: the package will have no manual pages")
endif()

install(FILES README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/quarn-dash)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarn-dash)
set(CPACK_PACKAGE_VENDOR "Quarn Dash")
set(CPACK_PACKAGE_CONTACT "Quarn Dash developers <quarn-dash@localhost>")
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
endif()
