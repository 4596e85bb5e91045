# The server base URLs are compiled into the installer, which appends
# "/uploads/..." and the like to them: anything but scheme, host and optional
# port makes every request of every user fail, and the user is only told to
# check the network. Refused at configure time instead.
#
#   check_server_url(DOWNLOAD_SERVER_URL)        in the project
#   cmake -DURL_SETTING=NAME -DURL_VALUE=VALUE -P cmake/server_url.cmake
#                                                the same check alone

# A host name (labels of letters, digits and inner hyphens) or a bracketed
# IPv6 address; dotted IPv4 addresses are host names of digits.
set(_SERVER_URL_LABEL "[A-Za-z0-9]([A-Za-z0-9-]*[A-Za-z0-9])?")
set(_SERVER_URL_PATTERN
    "^https?://(${_SERVER_URL_LABEL}(\\.${_SERVER_URL_LABEL})*|\\[[0-9A-Fa-f:.]+\\])(:([0-9]+))?$")

function(check_server_url setting)
  set(value "${${setting}}")
  set(rule "it must be http:// or https://, a host and an optional :port, nothing more: no "
           "trailing /, no path, no blanks or quotes (for example http://download.example.com:8080)")
  string(CONCAT rule ${rule})
  if(NOT value MATCHES "${_SERVER_URL_PATTERN}")
    message(FATAL_ERROR "${setting} is \"${value}\": ${rule}")
  endif()
  # The port group of the pattern; a port must lie in 1..65535.
  if(NOT "${CMAKE_MATCH_6}" STREQUAL "")
    if(CMAKE_MATCH_6 LESS 1 OR CMAKE_MATCH_6 GREATER 65535)
      message(FATAL_ERROR "${setting} is \"${value}\": the port must lie between 1 and 65535")
    endif()
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE AND DEFINED URL_SETTING)
  set(${URL_SETTING} "${URL_VALUE}")
  check_server_url(${URL_SETTING})
endif()
