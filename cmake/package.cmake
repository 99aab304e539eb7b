# The Debian package of a product: the agent's installation laid out for the
# product (cmake/product.cmake), vqsign and vqserve, each with a man page.
# scripts/package builds it; `cpack -G DEB` in any configured build tree
# does too, once the agent, its bundle, the tools and the man pages are built.
#
#   /usr/lib/<package>/vqagent.app/Contents/MacOS/  the installation
#   /usr/bin/vqagent                                starts it by its full path
#   /usr/bin/vqsign, /usr/bin/vqserve
#   /usr/share/man/man1/{vqagent,vqsign,vqserve}.1.gz

string(TOLOWER "vqagent-${VQ_APP_NAME}" vq_default_package_name)
string(REGEX REPLACE "[^a-z0-9.+-]" "-" vq_default_package_name
  "${vq_default_package_name}")
set(VQ_PACKAGE_NAME "${vq_default_package_name}" CACHE STRING
  "Name of the Debian package")
set(VQ_PACKAGE_MAINTAINER "Publisher of ${VQ_APP_TITLE} <packages@example.invalid>"
  CACHE STRING "Maintainer field of the Debian package")
if(NOT VQ_PACKAGE_NAME MATCHES "^[a-z0-9][a-z0-9.+-]+$")
  message(FATAL_ERROR "VQ_PACKAGE_NAME '${VQ_PACKAGE_NAME}' is not a Debian package name")
endif()

# The whole install depends on nothing being rebuilt: the package is made
# from what the build already produced (scripts/package builds the needed
# targets, not the tests).
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(vq_bundle_destination "lib/${VQ_PACKAGE_NAME}")
set(VQ_PACKAGE_BUNDLE_PATH "/usr/${vq_bundle_destination}/vqagent.app")

# Man pages, compressed as Debian installs them.
set(vq_man_pages vqagent vqsign vqserve)
set(vq_man_outputs "")
foreach(page IN LISTS vq_man_pages)
  set(source ${PROJECT_SOURCE_DIR}/packaging/man/${page}.1)
  set(output ${CMAKE_BINARY_DIR}/man/${page}.1.gz)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND gzip -9 -n -c ${source} > ${output}
    DEPENDS ${source}
    COMMENT "Compressing the man page ${page}(1)")
  list(APPEND vq_man_outputs ${output})
endforeach()
add_custom_target(vq_man_pages ALL DEPENDS ${vq_man_outputs})

configure_file(${PROJECT_SOURCE_DIR}/packaging/vqagent.in
  ${CMAKE_BINARY_DIR}/packaging/vqagent @ONLY)

# The bundle directory as the build lays it out; the trailing "/" installs
# its content. USE_SOURCE_PERMISSIONS keeps the executables executable.
install(DIRECTORY ${VQ_BUNDLE_DIR}/
  DESTINATION ${vq_bundle_destination}/vqagent.app
  USE_SOURCE_PERMISSIONS)
install(PROGRAMS ${CMAKE_BINARY_DIR}/packaging/vqagent DESTINATION bin)
install(TARGETS vqsign vqserve RUNTIME DESTINATION bin)
install(FILES ${vq_man_outputs} DESTINATION share/man/man1)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME ${VQ_PACKAGE_NAME})
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "${VQ_VENDOR_DIR}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "update agent of ${VQ_APP_TITLE}, with its signing tool and test server")
set(CPACK_PACKAGE_DESCRIPTION
  "Keeps ${VQ_APP_TITLE} installed and up to date for each user who runs it:
it runs the signed action documents of its update servers as crash-safe
transactions and serves local programs on 127.0.0.1. vqsign signs action
documents; vqserve is a reference update server for trying them out.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${VQ_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# Depends is worked out by dpkg-shlibdeps from the libraries the executables
# link, so it names exactly the Debian packages that provide them.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
if(CMAKE_BUILD_TYPE STREQUAL "Release")
  set(CPACK_STRIP_FILES ON)
endif()
include(CPack)
