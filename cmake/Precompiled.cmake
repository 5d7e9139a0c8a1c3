# Precompiled headers. The Qt and GoogleTest headers take most of the time of
# every compile; precompiled sets (code without windows, windows, and the
# same two with GoogleTest for the tests)
# are built once and every target reuses one of them.
#   quarn_precompile(core|ui|test|test_ui target...)
# Off with -DQUARN_PCH=OFF (the fuzz build: clang refuses a header built with
# other macro definitions instead of falling back to reading it).
option(QUARN_PCH "Use precompiled headers" ON)

set(QUARN_PCH_CORE
  <algorithm> <array> <chrono> <cmath> <cstdint> <cstdio> <functional> <memory>
  <optional> <string> <utility> <vector>
  <QByteArray> <QCoreApplication> <QDir> <QFile> <QFileInfo> <QObject> <QString>
  <QStringList> <QTimer>)
set(QUARN_PCH_UI ${QUARN_PCH_CORE}
  <QAction> <QApplication> <QCheckBox> <QCloseEvent> <QComboBox> <QDialog>
  <QFileDialog> <QLabel> <QLineEdit> <QMainWindow> <QMenu> <QMenuBar> <QMessageBox>
  <QPainter> <QPixmap> <QPointer> <QPushButton> <QScreen> <QStatusBar> <QWidget>)

if(QUARN_PCH)
  add_library(quarn_pch_core OBJECT ${CMAKE_SOURCE_DIR}/cmake/pch.cpp)
  target_link_libraries(quarn_pch_core PRIVATE Qt6::Core)
  target_precompile_headers(quarn_pch_core PRIVATE ${QUARN_PCH_CORE})

  add_library(quarn_pch_ui OBJECT ${CMAKE_SOURCE_DIR}/cmake/pch.cpp)
  target_link_libraries(quarn_pch_ui PRIVATE Qt6::Widgets)
  target_precompile_headers(quarn_pch_ui PRIVATE ${QUARN_PCH_UI})

  add_library(quarn_pch_test OBJECT ${CMAKE_SOURCE_DIR}/cmake/pch.cpp)
  target_link_libraries(quarn_pch_test PRIVATE Qt6::Core GTest::gtest)
  target_precompile_headers(quarn_pch_test PRIVATE ${QUARN_PCH_CORE} <gtest/gtest.h> <QTemporaryDir>)

  add_library(quarn_pch_test_ui OBJECT ${CMAKE_SOURCE_DIR}/cmake/pch.cpp)
  target_link_libraries(quarn_pch_test_ui PRIVATE Qt6::Widgets GTest::gtest)
  target_precompile_headers(quarn_pch_test_ui PRIVATE ${QUARN_PCH_UI} <gtest/gtest.h> <QTemporaryDir>)
endif()

function(quarn_precompile set)
  if(NOT QUARN_PCH)
    return()
  endif()
  foreach(target ${ARGN})
    target_precompile_headers(${target} REUSE_FROM quarn_pch_${set})
    # A set that does not fit a target (other macro definitions) is read as
    # plain headers instead: slower, never wrong, so not an error.
    target_compile_options(${target} PRIVATE -Wno-error=invalid-pch)
  endforeach()
endfunction()
