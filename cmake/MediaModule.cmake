# The media module "libsorvik-media.so": every use of FFmpeg, Tesseract and Leptonica, opened with
# dlopen on first use. Nothing else links those libraries.
pkg_check_modules(SORVIK_MEDIA_DEPS REQUIRED IMPORTED_TARGET
  libavformat libavcodec libavutil libswscale tesseract lept)
set(SORVIK_MEDIA_LIBRARIES libavformat libavcodec libavutil libswscale libtesseract liblept libleptonica)

file(GLOB SORVIK_MEDIA_SOURCES CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/Sources/SorvikMedia/*.cpp)
add_library(sorvik-media MODULE ${SORVIK_MEDIA_SOURCES})
target_include_directories(sorvik-media PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/Sources)
# Headers only from the core: its types' typeinfo comes from the program that loads the module.
target_link_libraries(sorvik-media PRIVATE PkgConfig::SORVIK_MEDIA_DEPS nlohmann_json::nlohmann_json)
set_target_properties(sorvik-media PROPERTIES LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/lib/sorvik)
install(TARGETS sorvik-media LIBRARY DESTINATION lib/sorvik)

# A target that calls into the module: it is built first, and every program linking the target
# exports the typeinfo of the core's types, so that an exception thrown in the module is of the
# program's own type.
function(sorvik_uses_media_module target)
  add_dependencies(${target} sorvik-media)
  target_link_options(${target} INTERFACE
    "LINKER:--dynamic-list=${CMAKE_CURRENT_FUNCTION_LIST_DIR}/SharedTypes.list")
endfunction()

# Fails the configuration when a target links a media library, directly or through the libraries
# it links (the built program is checked again by a test, on its NEEDED entries).
function(sorvik_assert_no_media_libraries target)
  set(seen "")
  _sorvik_collect_media_links(${target} seen)
endfunction()

function(_sorvik_collect_media_links target out_var)
  set(seen ${${out_var}})
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(target ${aliased})
  endif()
  if(NOT TARGET ${target} OR ${target} IN_LIST seen OR target STREQUAL "sorvik-media")
    return()
  endif()
  list(APPEND seen ${target})
  get_target_property(links ${target} LINK_LIBRARIES)
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  foreach(link IN LISTS links interface)
    if(link AND NOT link MATCHES "NOTFOUND$")
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(link MATCHES "SORVIK_MEDIA_DEPS|avformat|avcodec|avutil|swscale|tesseract|lept")
        message(FATAL_ERROR "${target} links ${link}: only the media module may link FFmpeg or Tesseract")
      endif()
      if(TARGET ${link})
        _sorvik_collect_media_links(${link} seen)
      endif()
    endif()
  endforeach()
  set(${out_var} ${seen} PARENT_SCOPE)
endfunction()

# The test that the built programs load none of the media libraries at start and find the module.
function(sorvik_add_media_link_test name)
  find_program(SORVIK_READELF readelf REQUIRED)
  set(files "")
  foreach(target IN LISTS ARGN)
    list(APPEND files $<TARGET_FILE:${target}>)
  endforeach()
  add_test(NAME ${name}
    COMMAND ${CMAKE_COMMAND} -DREADELF=${SORVIK_READELF} "-DFILES=${files}" -DRUNPATH=${CMAKE_BINARY_DIR}/lib/sorvik
      -P ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/MediaLinkCheck.cmake)
endfunction()
