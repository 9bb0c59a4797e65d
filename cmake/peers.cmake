# Independent libraries used as test and benchmark peers (never by the
# library itself): OpenSSL's MD5, RapidJSON, nlohmann::json, cpp-httplib,
# libcurl.
find_package(OpenSSL REQUIRED)
find_package(CURL REQUIRED)
find_package(nlohmann_json REQUIRED)
add_library(comsvc_peers INTERFACE)
target_link_libraries(comsvc_peers INTERFACE OpenSSL::Crypto CURL::libcurl nlohmann_json::nlohmann_json Threads::Threads)
# Debian builds cpp-httplib as a shared library; its header only declares.
find_library(CPP_HTTPLIB_LIBRARY cpp-httplib REQUIRED)
target_link_libraries(comsvc_peers INTERFACE ${CPP_HTTPLIB_LIBRARY})
