# Renders the window's artwork into the PNG and icon files the resource script
# embeds: res/art/make_svgs.py draws the SVGs from the brand file (texts and
# palette; -DBRAND_FILE=..., default res/art/brand.ini, today's design), then
# render.sh and make_icon.sh turn them into PNG and icon files. Included from
# the top-level CMakeLists.txt; the output goes to <build>/res, which is on
# the resource compiler's path.
set(ART_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR}/art)
set(ART_OUTPUT_DIR ${CMAKE_BINARY_DIR}/res)
set(ART_SVG_DIR ${ART_OUTPUT_DIR}/svg)
set(BRAND_FILE ${ART_SOURCE_DIR}/brand.ini CACHE FILEPATH "Brand file: texts and colours of the artwork")
get_filename_component(BRAND_FILE_ABS ${BRAND_FILE} ABSOLUTE)
if(NOT EXISTS ${BRAND_FILE_ABS})
  message(FATAL_ERROR "BRAND_FILE not found: ${BRAND_FILE}")
endif()
file(MAKE_DIRECTORY ${ART_OUTPUT_DIR})

find_program(RSVG_CONVERT rsvg-convert REQUIRED)
find_program(IMAGEMAGICK_CONVERT convert REQUIRED)
find_package(Python3 REQUIRED COMPONENTS Interpreter)

# Picture ids and the SVG names make_svgs.py writes for them.
set(ART_PICTURES 154_background 155_main 156_close 158_agreement 159_back 160_cancel
    161_custom 162_default_dir 163_minimize 164_install 166_slide 167_slide 168_slide
    169_slide 170_slide 179_bar_track 180_bar_fill 181_browse)
# brand_colours.h: the window's own text colours, compiled into ui/.
set(ART_SVGS ${ART_SVG_DIR}/icon.svg ${ART_SVG_DIR}/matte.txt ${ART_SVG_DIR}/brand_colours.h)
foreach(pic ${ART_PICTURES})
  list(APPEND ART_SVGS ${ART_SVG_DIR}/png${pic}.svg)
endforeach()
add_custom_command(OUTPUT ${ART_SVGS}
  COMMAND ${Python3_EXECUTABLE} ${ART_SOURCE_DIR}/make_svgs.py --brand ${BRAND_FILE_ABS} --out ${ART_SVG_DIR}
  DEPENDS ${ART_SOURCE_DIR}/make_svgs.py ${BRAND_FILE_ABS}
  COMMENT "Drawing the artwork of ${BRAND_FILE}" VERBATIM)

set(ART_OUTPUTS)
foreach(pic ${ART_PICTURES})
  string(SUBSTRING ${pic} 0 3 id)
  # Background and progress bar are drawn opaque; everything else keyed.
  if(id STREQUAL "154" OR id STREQUAL "179" OR id STREQUAL "180")
    set(mode opaque)
  else()
    set(mode keyed)
  endif()
  set(svg ${ART_SVG_DIR}/png${pic}.svg)
  set(out ${ART_OUTPUT_DIR}/png${id}.png)
  add_custom_command(OUTPUT ${out}
    COMMAND bash ${ART_SOURCE_DIR}/render.sh ${mode} ${svg} ${out}
    DEPENDS ${svg} ${ART_SVG_DIR}/matte.txt ${ART_SOURCE_DIR}/render.sh
    COMMENT "Rendering artwork ${id}" VERBATIM)
  list(APPEND ART_OUTPUTS ${out})
endforeach()

add_custom_command(OUTPUT ${ART_OUTPUT_DIR}/online_setup.ico ${ART_OUTPUT_DIR}/online_setup_small.ico
  COMMAND bash ${ART_SOURCE_DIR}/make_icon.sh ${ART_SVG_DIR}/icon.svg
          ${ART_OUTPUT_DIR}/online_setup.ico ${ART_OUTPUT_DIR}/online_setup_small.ico
  DEPENDS ${ART_SVG_DIR}/icon.svg ${ART_SOURCE_DIR}/make_icon.sh
  COMMENT "Rendering icons" VERBATIM)
list(APPEND ART_OUTPUTS ${ART_OUTPUT_DIR}/online_setup.ico ${ART_OUTPUT_DIR}/online_setup_small.ico)

# The configured servers go into the version resource (see online_setup.rc).
foreach(url ${DOWNLOAD_SERVER_URL} ${AGENCY_TEXT_SERVER_URL})
  if(url MATCHES "[\"\\\\]")
    message(FATAL_ERROR "Server URL must not contain quotes or backslashes: ${url}")
  endif()
endforeach()
file(CONFIGURE OUTPUT ${ART_OUTPUT_DIR}/online_setup_servers.h CONTENT
"#define ONLINE_SETUP_DOWNLOAD_SERVER \"${DOWNLOAD_SERVER_URL}\\0\"
#define ONLINE_SETUP_AGENCY_TEXT_SERVER \"${AGENCY_TEXT_SERVER_URL}\\0\"
#define ONLINE_SETUP_SERVERS_TEXT \"DownloadServer=${DOWNLOAD_SERVER_URL} AgencyTextServer=${AGENCY_TEXT_SERVER_URL}\\0\"
")

add_custom_target(online_setup_art DEPENDS ${ART_OUTPUTS})
add_custom_target(online_setup_brand_colours DEPENDS ${ART_SVG_DIR}/brand_colours.h)
add_dependencies(layer_ui online_setup_brand_colours)
target_include_directories(layer_ui PRIVATE ${ART_SVG_DIR})
set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/online_setup.rc PROPERTIES
  OBJECT_DEPENDS "${ART_OUTPUTS};${ART_OUTPUT_DIR}/online_setup_servers.h")
