# The local command server library. Defined from here so that it can be
# pulled in by whichever folder is configured first.
include_guard(GLOBAL)
set(VQ_CMDSERVER_DIR ${CMAKE_CURRENT_LIST_DIR})
vq_library(vq_cmdserver
  SOURCES
    ${VQ_CMDSERVER_DIR}/access_key.cpp
    ${VQ_CMDSERVER_DIR}/mongoose.cpp
    ${VQ_CMDSERVER_DIR}/mongoose_commands.cpp
    ${VQ_CMDSERVER_DIR}/reply_text.cpp
    ${VQ_CMDSERVER_DIR}/request_guard.cpp
  DEPS
    vq_app
    vq_support
    civetweb::civetweb
    OpenSSL::Crypto
    PkgConfig::APR
    PkgConfig::LOG4CPP
    Threads::Threads
)
