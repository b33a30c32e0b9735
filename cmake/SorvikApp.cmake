# The desktop app in three layers: the store and view logic (Qt Core only), the widgets, and the
# `sorvik` executable.
if(SORVIK_APP_WIDGETS)
  find_package(Qt6 6.4 REQUIRED COMPONENTS Core Gui Widgets Svg Network DBus Multimedia)
else()
  find_package(Qt6 6.4 REQUIRED COMPONENTS Core)
endif()
# The logic sees Qt Core's headers only (cmake/Layers.cmake).
sorvik_qt_core_only()

set(SORVIK_APP_DIR ${CMAKE_CURRENT_SOURCE_DIR}/Sources/Sorvik)

# The layer of a file is its folder. Logic (Qt Core only): Stores/, Support/ and every Logic/
# folder under Views/. Widgets: App/ and the rest of Views/.
file(GLOB SORVIK_APP_LOGIC_SOURCES CONFIGURE_DEPENDS
  ${SORVIK_APP_DIR}/Stores/*.cpp ${SORVIK_APP_DIR}/Stores/*.hpp
  ${SORVIK_APP_DIR}/Support/*.cpp ${SORVIK_APP_DIR}/Support/*.hpp
  ${SORVIK_APP_DIR}/Views/*/Logic/*.cpp ${SORVIK_APP_DIR}/Views/*/Logic/*.hpp)
add_library(SorvikAppLogic STATIC ${SORVIK_APP_LOGIC_SOURCES})
set_target_properties(SorvikAppLogic PROPERTIES AUTOMOC ON)
target_include_directories(SorvikAppLogic PUBLIC ${SORVIK_LOGIC_ROOT})
target_link_libraries(SorvikAppLogic PUBLIC SorvikCore Qt6::Core PRIVATE PkgConfig::SORVIK_DEPS)
target_compile_definitions(SorvikAppLogic PRIVATE
  SORVIK_APP_VERSION="${PROJECT_VERSION}"
  SORVIK_SCAN_INTERVAL_SECONDS="${SORVIK_SCAN_INTERVAL_SECONDS}")

if(NOT SORVIK_APP_WIDGETS)
  return()
endif()

# Widgets: the views, the theme and the desktop seams.
file(GLOB SORVIK_APP_WIDGET_SOURCES CONFIGURE_DEPENDS
  ${SORVIK_APP_DIR}/Views/*/*.cpp ${SORVIK_APP_DIR}/Views/*/*.hpp
  ${SORVIK_APP_DIR}/App/*.cpp ${SORVIK_APP_DIR}/App/*.hpp)
list(FILTER SORVIK_APP_WIDGET_SOURCES EXCLUDE REGEX "/App/main\\.cpp$")
qt_add_resources(SORVIK_APP_RESOURCES ${CMAKE_CURRENT_SOURCE_DIR}/Resources/sorvik.qrc)
add_library(SorvikAppWidgets STATIC ${SORVIK_APP_WIDGET_SOURCES} ${SORVIK_APP_RESOURCES})
target_include_directories(SorvikAppWidgets PUBLIC ${SORVIK_WIDGETS_ROOT})
set_target_properties(SorvikAppWidgets PROPERTIES AUTOMOC ON)
target_link_libraries(SorvikAppWidgets PUBLIC SorvikAppLogic Qt6::Gui Qt6::Widgets Qt6::Svg Qt6::Network Qt6::DBus
  Qt6::Multimedia PRIVATE PkgConfig::SORVIK_DEPS)

add_executable(sorvik ${SORVIK_APP_DIR}/App/main.cpp)
target_link_libraries(sorvik PRIVATE SorvikAppWidgets)
# The program finds its data relative to its own folder, as installed.
target_compile_definitions(sorvik PRIVATE SORVIK_APP_VERSION_TEXT="${PROJECT_VERSION}"
  SORVIK_DATA_FROM_BIN="${SORVIK_DATA_FROM_BIN}")
set_target_properties(sorvik PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_BINDIR}
  BUILD_WITH_INSTALL_RPATH ON)

# Data beside the program: <datadir>/sorvik in the build tree as when installed.
set(SORVIK_SAMPLE_SOURCE ${CMAKE_CURRENT_SOURCE_DIR}/Resources/RudidEdevov)
set(SORVIK_DATA_DIR ${CMAKE_BINARY_DIR}/${CMAKE_INSTALL_DATADIR}/sorvik)
file(GLOB_RECURSE SORVIK_SAMPLE_FILES CONFIGURE_DEPENDS ${SORVIK_SAMPLE_SOURCE}/*)
set(SORVIK_SAMPLE_STAMP ${SORVIK_DATA_DIR}/.sample-stamp)
add_custom_command(OUTPUT ${SORVIK_SAMPLE_STAMP}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${SORVIK_DATA_DIR}/RudidEdevov
  COMMAND ${CMAKE_COMMAND} -E copy_directory ${SORVIK_SAMPLE_SOURCE} ${SORVIK_DATA_DIR}/RudidEdevov
  COMMAND ${CMAKE_COMMAND} -E touch ${SORVIK_SAMPLE_STAMP}
  DEPENDS ${SORVIK_SAMPLE_FILES}
  COMMENT "Copying the sample folders")
add_custom_target(SorvikSample ALL DEPENDS ${SORVIK_SAMPLE_STAMP})
add_dependencies(sorvik SorvikSample sorvik-agent)

install(TARGETS sorvik RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY ${SORVIK_SAMPLE_SOURCE} DESTINATION ${CMAKE_INSTALL_DATADIR}/sorvik)

# Desktop entry, metainfo and icon.
include(cmake/SorvikInstall.cmake)
