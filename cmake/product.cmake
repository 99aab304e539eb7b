# The delivered product's built-in description: identity, names and default
# update servers, fixed when the agent is built. The defaults describe the
# demo product, whose update server runs on 127.0.0.1 (scripts/demo).
set(VQ_VENDOR_DIR "VqDemo" CACHE STRING
  "Vendor directory under ~/Library/Application Support")
set(VQ_DEFAULT_SERVERS "http://127.0.0.1:8731/" CACHE STRING
  "Default update server base URLs (a CMake list)")
set(VQ_FEED_ID "363" CACHE STRING "Feed number")
set(VQ_APP_ID "843" CACHE STRING "Application number")
set(VQ_APP_NAME "Quillmere" CACHE STRING
  "Name of the delivered application (names the data directory)")
set(VQ_APP_TITLE "Quillmere" CACHE STRING "Display title")
set(VQ_APP_SWF "Quillmere.app" CACHE STRING
  "Bundle name of the delivered application inside the data directory")
option(VQ_REQUIRE_FRESH
  "Accept signed answers only when bound to the request's nonce or carrying an unexpired expiry (default of the variable secure.fresh)"
  OFF)

foreach(number VQ_FEED_ID VQ_APP_ID)
  if(NOT ${number} MATCHES "^[0-9]+$")
    message(FATAL_ERROR "${number} must be a decimal number, not '${${number}}'")
  endif()
endforeach()
foreach(name VQ_VENDOR_DIR VQ_APP_NAME VQ_APP_SWF)
  if("${${name}}" STREQUAL "" OR "${${name}}" MATCHES "[/\\\\]|^\\.\\.?$")
    message(FATAL_ERROR "${name} must be a non-empty file name, not '${${name}}'")
  endif()
endforeach()
if(NOT VQ_DEFAULT_SERVERS)
  message(FATAL_ERROR "VQ_DEFAULT_SERVERS must name at least one server")
endif()

# vq_xml_escape(OUT TEXT): TEXT made safe inside an XML attribute or element,
# then inside a C string literal.
function(vq_xml_escape out text)
  string(REPLACE "&" "&amp;" text "${text}")
  string(REPLACE "<" "&lt;" text "${text}")
  string(REPLACE ">" "&gt;" text "${text}")
  string(REPLACE "\"" "&quot;" text "${text}")
  string(REPLACE "\\" "\\\\" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

foreach(setting VQ_VENDOR_DIR VQ_FEED_ID VQ_APP_ID VQ_APP_NAME VQ_APP_TITLE VQ_APP_SWF)
  vq_xml_escape(${setting}_XML "${${setting}}")
endforeach()
string(REPLACE "\\" "\\\\" VQ_VENDOR_DIR_C "${VQ_VENDOR_DIR}")
string(REPLACE "\"" "\\\"" VQ_VENDOR_DIR_C "${VQ_VENDOR_DIR_C}")
set(VQ_DEFAULT_SERVERS_XML "")
foreach(server IN LISTS VQ_DEFAULT_SERVERS)
  vq_xml_escape(server_xml "${server}")
  string(APPEND VQ_DEFAULT_SERVERS_XML "<server>${server_xml}</server>")
endforeach()
