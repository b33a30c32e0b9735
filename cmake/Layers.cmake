# One include root per layer. Each root under <build>/layers mirrors the paths the sources include
# ("SorvikCore/...", "Sorvik/Stores/...") with links to the headers of that layer's folders only; a
# target is given its own layer's root and those of the layers below it, so an include from a layer
# above or beside does not compile. The folder decides the layer, as for the sources: the roots
# are made again whenever a header appears, moves or goes.
set(SORVIK_LAYERS_DIR ${CMAKE_BINARY_DIR}/layers)
set(SORVIK_SOURCES_DIR ${CMAKE_CURRENT_SOURCE_DIR}/Sources)

# Makes <build>/layers/<layer>, linking every header of the folders (globs relative to Sources/)
# at its own path, and sets SORVIK_<LAYER>_ROOT to it.
function(sorvik_layer_root layer)
  set(root ${SORVIK_LAYERS_DIR}/${layer})
  # Only links to files lie here, so removing the folder removes no header.
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${root})
  set(patterns "")
  foreach(folder IN LISTS ARGN)
    list(APPEND patterns ${SORVIK_SOURCES_DIR}/${folder}/*.hpp ${SORVIK_SOURCES_DIR}/${folder}/*.h)
  endforeach()
  file(GLOB headers CONFIGURE_DEPENDS RELATIVE ${SORVIK_SOURCES_DIR} ${patterns})
  foreach(header IN LISTS headers)
    get_filename_component(folder ${root}/${header} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${SORVIK_SOURCES_DIR}/${header} ${root}/${header} SYMBOLIC)
  endforeach()
  string(TOUPPER ${layer} name)
  set(SORVIK_${name}_ROOT ${root} PARENT_SCOPE)
endfunction()

sorvik_layer_root(core SorvikCore)
sorvik_layer_root(media SorvikMedia SorvikImages)
sorvik_layer_root(agent SorvikAgent)
sorvik_layer_root(logic Sorvik/Stores Sorvik/Support Sorvik/Views/*/Logic)
# The widgets: App/ and every folder under Views/ but Logic/ (the glob reaches no deeper).
sorvik_layer_root(widgets Sorvik/App Sorvik/Views/*)

# Qt's targets each name Qt's root include folder, so that a target linking Qt Core alone could
# still include <QtGui/...>. Qt Core and Qt Test are given a root of their own holding only their
# folder; Qt Gui and the modules above it keep naming the whole root.
function(sorvik_qt_module_root target module)
  if(NOT TARGET ${target})
    return()
  endif()
  get_target_property(folders ${target} INTERFACE_INCLUDE_DIRECTORIES)
  list(FILTER folders INCLUDE REGEX "/${module}$")
  list(GET folders 0 folder)
  set(root ${SORVIK_LAYERS_DIR}/qt-${module})
  file(MAKE_DIRECTORY ${root})
  file(CREATE_LINK ${folder} ${root}/${module} SYMBOLIC)
  set_property(TARGET ${target} PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${folder} ${root})
endfunction()

function(sorvik_qt_core_only)
  sorvik_qt_module_root(Qt6::Core QtCore)
  sorvik_qt_module_root(Qt6::Test QtTest)
  # The platform's settings folder only, not the root.
  get_target_property(folders Qt6::Platform INTERFACE_INCLUDE_DIRECTORIES)
  list(FILTER folders INCLUDE REGEX "/mkspecs/")
  set_property(TARGET Qt6::Platform PROPERTY INTERFACE_INCLUDE_DIRECTORIES ${folders})
endfunction()

# The test that no file includes a header of a layer above or beside its own, read from every
# translation unit of the build (compile_commands.json) and the headers they include; and the
# test of that check (LayerCheckTests), which runs it on planted includes.
function(sorvik_add_layer_check_test name)
  add_executable(sorvik-layer-check ${CMAKE_CURRENT_SOURCE_DIR}/Tests/Tools/LayerCheck.cpp)
  target_link_libraries(sorvik-layer-check PRIVATE nlohmann_json::nlohmann_json)
  set(qt_root "")
  if(QT6_INSTALL_PREFIX)
    set(qt_root ${QT6_INSTALL_PREFIX}/${QT6_INSTALL_HEADERS})
  endif()
  add_test(NAME ${name} COMMAND sorvik-layer-check ${CMAKE_BINARY_DIR}/compile_commands.json
    ${CMAKE_CURRENT_SOURCE_DIR} ${qt_root})
  add_dependencies(LayerCheckTests sorvik-layer-check)
  target_compile_definitions(LayerCheckTests PRIVATE SORVIK_LAYER_CHECK_PATH="$<TARGET_FILE:sorvik-layer-check>"
    SORVIK_QT_INCLUDE_ROOT="${qt_root}")
endfunction()
