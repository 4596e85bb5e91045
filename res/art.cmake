# Renders the window's artwork (res/art/*.svg) into the PNG and icon files the
# resource script embeds. Included from the top-level CMakeLists.txt; the
# output goes to <build>/res, which is on the resource compiler's path.
set(ART_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/art)
set(ART_OUTPUT_DIR ${CMAKE_BINARY_DIR}/res)
file(MAKE_DIRECTORY ${ART_OUTPUT_DIR})

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(IMAGEMAGICK_CONVERT convert REQUIRED)

set(ART_OUTPUTS)
file(GLOB ART_SVGS CONFIGURE_DEPENDS ${ART_SOURCE_DIR}/png*.svg)
foreach(svg ${ART_SVGS})
  get_filename_component(name ${svg} NAME_WE)
  string(SUBSTRING ${name} 3 3 id)
  # Background and progress bar are drawn opaque; everything else keyed.
  if(id STREQUAL "154" OR id STREQUAL "179" OR id STREQUAL "180")
    set(mode opaque)
  else()
    set(mode keyed)
  endif()
  set(out ${ART_OUTPUT_DIR}/png${id}.png)
  add_custom_command(OUTPUT ${out}
    COMMAND bash ${ART_SOURCE_DIR}/render.sh ${mode} ${svg} ${out}
    DEPENDS ${svg} ${ART_SOURCE_DIR}/render.sh
    COMMENT "Rendering artwork ${id}" VERBATIM)
  list(APPEND ART_OUTPUTS ${out})
endforeach()

add_custom_command(OUTPUT ${ART_OUTPUT_DIR}/online_setup.ico ${ART_OUTPUT_DIR}/online_setup_small.ico
  COMMAND bash ${ART_SOURCE_DIR}/make_icon.sh ${ART_SOURCE_DIR}/icon.svg
          ${ART_OUTPUT_DIR}/online_setup.ico ${ART_OUTPUT_DIR}/online_setup_small.ico
  DEPENDS ${ART_SOURCE_DIR}/icon.svg ${ART_SOURCE_DIR}/make_icon.sh
  COMMENT "Rendering icons" VERBATIM)
list(APPEND ART_OUTPUTS ${ART_OUTPUT_DIR}/online_setup.ico ${ART_OUTPUT_DIR}/online_setup_small.ico)

add_custom_target(online_setup_art DEPENDS ${ART_OUTPUTS})
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/online_setup.rc PROPERTIES
  OBJECT_DEPENDS "${ART_OUTPUTS}")
