# The media module "libsorvik-media.so": every use of FFmpeg, Tesseract and Leptonica, opened with
# dlopen on first use. Nothing else links those libraries.
pkg_check_modules(SORVIK_MEDIA_DEPS REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswscale tesseract lept)
set(SORVIK_MEDIA_LIBRARIES libavformat libavcodec libavutil libswscale libtesseract liblept libleptonica)

file(GLOB SORVIK_MEDIA_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Sources/SorvikMedia/*.cpp)
add_library(sorvik-media MODULE ${SORVIK_MEDIA_SOURCES})
target_include_directories(sorvik-media PRIVATE ${SORVIK_MEDIA_ROOT} ${SORVIK_CORE_ROOT})
# Headers only from the core: its types' typeinfo comes from the program that loads the module.
target_link_libraries(sorvik-media PRIVATE PkgConfig::SORVIK_MEDIA_DEPS nlohmann_json::nlohmann_json)
# It finds its libraries where the system keeps them: no run path of its own.
set_target_properties(sorvik-media PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${SORVIK_MODULE_DIR}
  BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "")
install(TARGETS sorvik-media LIBRARY DESTINATION ${SORVIK_MODULE_DIR})

# The image module "libsorvik-images.so": every use of libvips, opened with dlopen on first use,
# so that no program loads libvips and its hundred libraries at start.
pkg_check_modules(SORVIK_IMAGE_DEPS REQUIRED IMPORTED_TARGET vips)
file(GLOB SORVIK_IMAGE_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Sources/SorvikImages/*.cpp)
add_library(sorvik-images MODULE ${SORVIK_IMAGE_SOURCES})
target_include_directories(sorvik-images PRIVATE ${SORVIK_MEDIA_ROOT} ${SORVIK_CORE_ROOT})
target_link_libraries(sorvik-images PRIVATE PkgConfig::SORVIK_IMAGE_DEPS nlohmann_json::nlohmann_json)
set_target_properties(sorvik-images PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/${SORVIK_MODULE_DIR}
  BUILD_WITH_INSTALL_RPATH ON INSTALL_RPATH "")
install(TARGETS sorvik-images LIBRARY DESTINATION ${SORVIK_MODULE_DIR})

# A target that calls into the module: it is built first, and every program linking the target
# exports the typeinfo of the core's types, so that an exception thrown in the module is of the
# program's own type.
function(sorvik_uses_media_module target)
  add_dependencies(${target} sorvik-media sorvik-images)
  target_link_options(${target} INTERFACE
    "LINKER:--dynamic-list=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/SharedTypes.list")
endfunction()

# The test that the built programs load none of the media libraries nor libvips at start and find
# the modules.
function(sorvik_add_media_link_test name)
  find_program(SORVIK_READELF readelf REQUIRED)
  set(files "")
  foreach(target IN LISTS ARGN)
    list(APPEND files $<TARGET_FILE:${target}>)
  endforeach()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DREADELF=${SORVIK_READELF} "-DFILES=${files}" -DRUNPATH=${CMAKE_BINARY_DIR}/${SORVIK_MODULE_DIR}
      -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/MediaLinkCheck.cmake)
endfunction()

# The test that the built programs' run paths hold no empty or relative entry: the loader would
# look for libraries in whatever folder a program is started from.
function(sorvik_add_run_path_test name)
  find_program(SORVIK_READELF readelf REQUIRED)
  set(files "")
  foreach(target IN LISTS ARGN)
    list(APPEND files $<TARGET_FILE:${target}>)
  endforeach()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DREADELF=${SORVIK_READELF} "-DFILES=${files}"
      -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/RunPathCheck.cmake)
endfunction()
