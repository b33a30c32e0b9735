# Fails the configuration when a target links a library it must not, directly or through the
# libraries it links.

# Walks the links of `target`, skipping the targets in SKIP; a link matching PATTERN fails with WHY.
function(_sorvik_refuse_links target pattern why skip out_var)
  set(seen ${${out_var}})
  if(NOT TARGET ${target})
    return()
  endif()
  get_target_property(aliased ${target} ALIASED_TARGET)
  if(aliased)
    set(target ${aliased})
  endif()
  if(${target} IN_LIST seen OR ${target} IN_LIST skip)
    return()
  endif()
  list(APPEND seen ${target})
  get_target_property(links ${target} LINK_LIBRARIES)
  get_target_property(interface ${target} INTERFACE_LINK_LIBRARIES)
  foreach(link IN LISTS links interface)
    if(link AND NOT link MATCHES "NOTFOUND$")
      string(REGEX REPLACE "^\\$<LINK_ONLY:(.*)>$" "\\1" link "${link}")
      if(link MATCHES "${pattern}")
        message(FATAL_ERROR "${target} links ${link}: ${why}")
      endif()
      if(TARGET ${link})
        _sorvik_refuse_links(${link} "${pattern}" "${why}" "${skip}" seen)
      endif()
    endif()
  endforeach()
  set(${out_var} ${seen} PARENT_SCOPE)
endfunction()

# The agent and the core never link Qt.
function(sorvik_assert_no_qt target)
  set(seen "")
  _sorvik_refuse_links(${target} "^Qt[56]?::|[Qq]t6" "the agent and the core must never link Qt" "" seen)
endfunction()

# Only the media module links FFmpeg, Tesseract and Leptonica, only the image module libvips (the
# built programs are checked again by a test, on their NEEDED entries).
function(sorvik_assert_no_media_libraries target)
  set(seen "")
  _sorvik_refuse_links(${target} "SORVIK_MEDIA_DEPS|SORVIK_IMAGE_DEPS|avformat|avcodec|avutil|swscale|tesseract|lept|vips"
                       "only the media and image modules may link FFmpeg, Tesseract or libvips"
                       "sorvik-media;sorvik-images" seen)
endfunction()
