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

# The pictures come from res/resource_ids.h, one "#define IDB_NAME number"
# each: picture NAME is drawn into png<number>_<name>.svg (the name in small
# letters, a trailing _<digit> dropped) and rendered to png<number>.png.
set(ART_IDS_HEADER ${CMAKE_CURRENT_LIST_DIR}/resource_ids.h)
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${ART_IDS_HEADER})
file(STRINGS ${ART_IDS_HEADER} ART_ID_LINES REGEX "^#define IDB_[A-Z0-9_]+ [0-9]+$")
set(ART_PICTURES)
set(ART_PICTURE_NAMES)
foreach(line ${ART_ID_LINES})
  string(REGEX REPLACE "^#define IDB_([A-Z0-9_]+) ([0-9]+)$" "\\1;\\2" name_id "${line}")
  list(GET name_id 0 name)
  list(GET name_id 1 id)
  string(TOLOWER "${name}" svg_name)
  string(REGEX REPLACE "_[0-9]+$" "" svg_name "${svg_name}")
  list(APPEND ART_PICTURES ${id}_${svg_name})
  list(APPEND ART_PICTURE_NAMES ${name})
endforeach()
if(NOT ART_PICTURES)
  message(FATAL_ERROR "no picture ids in ${ART_IDS_HEADER}")
endif()
# The picture resources for online_setup.rc.
set(ART_PICTURES_RC)
foreach(pic ${ART_PICTURES})
  string(REGEX MATCH "^[0-9]+" id ${pic})
  string(APPEND ART_PICTURES_RC "${id} PNG \"png${id}.png\"\n")
endforeach()
file(CONFIGURE OUTPUT ${ART_OUTPUT_DIR}/online_setup_pictures.rc CONTENT "${ART_PICTURES_RC}")
# brand_colours.h: the window's own text colours, compiled into ui/.
set(ART_SVGS ${ART_SVG_DIR}/icon.svg ${ART_SVG_DIR}/matte.txt ${ART_SVG_DIR}/brand_colours.h)
foreach(pic ${ART_PICTURES})
  list(APPEND ART_SVGS ${ART_SVG_DIR}/png${pic}.svg)
endforeach()
add_custom_command(OUTPUT ${ART_SVGS}
  COMMAND ${Python3_EXECUTABLE} ${ART_SOURCE_DIR}/make_svgs.py --brand ${BRAND_FILE_ABS} --out ${ART_SVG_DIR}
          --ids ${ART_IDS_HEADER}
  DEPENDS ${ART_SOURCE_DIR}/make_svgs.py ${BRAND_FILE_ABS} ${ART_IDS_HEADER}
  COMMENT "Drawing the artwork of ${BRAND_FILE}" VERBATIM)

set(ART_OUTPUTS)
foreach(pic name IN ZIP_LISTS ART_PICTURES ART_PICTURE_NAMES)
  string(REGEX MATCH "^[0-9]+" id ${pic})
  # Background and progress bar are drawn opaque; everything else keyed.
  if(name MATCHES "^(BACKGROUND|BAR_TRACK|BAR_FILL)$")
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
  OBJECT_DEPENDS "${ART_OUTPUTS};${ART_OUTPUT_DIR}/online_setup_servers.h;${ART_OUTPUT_DIR}/online_setup_pictures.rc;${ART_IDS_HEADER}")
