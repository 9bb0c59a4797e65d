# System libraries the platform layer needs.
find_package(Threads REQUIRED)
target_link_libraries(comsvc_platform INTERFACE Threads::Threads ${CMAKE_DL_LIBS})
