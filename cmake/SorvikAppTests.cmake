# Tests of the desktop app: store and view logic with no display, widgets on the offscreen platform.
find_package(Qt6 6.4 REQUIRED COMPONENTS Test)
sorvik_qt_core_only()

file(GLOB SORVIK_APP_TEST_SUPPORT CONFIGURE_DEPENDS Tests/App/Support/*.cpp Tests/App/Support/*.hpp)
list(FILTER SORVIK_APP_TEST_SUPPORT EXCLUDE REGEX "/AppTestMain\\.cpp$")
add_library(SorvikAppTestSupport STATIC ${SORVIK_APP_TEST_SUPPORT})
set_target_properties(SorvikAppTestSupport PROPERTIES AUTOMOC ON)
target_link_libraries(SorvikAppTestSupport PUBLIC SorvikAppLogic SorvikTestSupport GTest::gtest Qt6::Test)
target_include_directories(SorvikAppTestSupport PUBLIC Tests)

# Store*Tests and *LogicTests need Qt Core only; Widget*Tests build the widgets. Tests in which Qt's
# own threads take part (the widgets, a real worker or saver thread) carry the label "qt-threads":
# ThreadSanitizer cannot see Qt's synchronisation, so its run leaves them out.
file(GLOB SORVIK_APP_TEST_SOURCES CONFIGURE_DEPENDS Tests/App/*Tests.cpp)
foreach(test_source ${SORVIK_APP_TEST_SOURCES})
  get_filename_component(test_name ${test_source} NAME_WE)
  if(test_name MATCHES "^(Widget|AppProcess)" AND NOT SORVIK_APP_WIDGETS)
    continue()
  endif()
  add_executable(${test_name} ${test_source} Tests/App/Support/AppTestMain.cpp)
  set_target_properties(${test_name} PROPERTIES AUTOMOC ON)
  if(test_name MATCHES "^Widget")
    target_link_libraries(${test_name} PRIVATE SorvikAppTestSupport SorvikAppWidgets)
    target_compile_definitions(${test_name} PRIVATE SORVIK_WIDGET_TESTS=1)
  else()
    target_link_libraries(${test_name} PRIVATE SorvikAppTestSupport)
  endif()
  add_dependencies(${test_name} sorvik-agent)
  # Tests of the `sorvik` program itself, run as a process.
  if(test_name MATCHES "^AppProcess")
    add_dependencies(${test_name} sorvik)
    target_compile_definitions(${test_name} PRIVATE SORVIK_APP_PATH="$<TARGET_FILE:sorvik>")
  endif()
  target_compile_definitions(${test_name} PRIVATE
    SORVIK_TEST_SCREEN_CONFIG="${CMAKE_CURRENT_SOURCE_DIR}/Tests/App/Support/OffscreenScreens.json")
  # The shipped sample folders, copied by the tests that use them.
  target_compile_definitions(${test_name} PRIVATE
    SORVIK_SAMPLE_DIR="${CMAKE_CURRENT_SOURCE_DIR}/Resources/RudidEdevov")
  set(label app)
  if(test_name MATCHES "^Widget|Threaded|^AppProcess")
    set(label qt-threads)
  endif()
  gtest_discover_tests(${test_name} DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen" LABELS ${label})
endforeach()
