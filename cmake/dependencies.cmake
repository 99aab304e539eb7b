# The system libraries the agent is built on, all from Debian packages
# (scripts/setup installs them).
find_package(PkgConfig REQUIRED)
find_package(Threads REQUIRED)
find_package(OpenSSL 3 REQUIRED)
find_package(GTest REQUIRED)
# civetweb's CMake package also names the civetweb server executable, which
# comes in the "civetweb" package; scripts/setup installs both.
find_package(civetweb CONFIG REQUIRED)

pkg_check_modules(LOG4CPP REQUIRED IMPORTED_TARGET log4cpp)
pkg_check_modules(TINYXML REQUIRED IMPORTED_TARGET tinyxml)
pkg_check_modules(APR REQUIRED IMPORTED_TARGET apr-1)
pkg_check_modules(CURL REQUIRED IMPORTED_TARGET libcurl)

# Debian's TinyXML is built with its STL interface; every user must agree.
set_property(TARGET PkgConfig::TINYXML APPEND PROPERTY
  INTERFACE_COMPILE_DEFINITIONS TIXML_USE_STL)
