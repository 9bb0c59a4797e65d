# System libraries the platform layer needs.
find_package(Threads REQUIRED)
target_link_libraries(comsvc_platform INTERFACE Threads::Threads ${CMAKE_DL_LIBS})
# The notice window draws on X11 with Xft (client-side fonts, so Chinese text
# renders with any installed font that has it).
find_package(PkgConfig REQUIRED)
pkg_check_modules(COMSVC_X11 REQUIRED IMPORTED_TARGET GLOBAL x11 xft)
target_link_libraries(comsvc_platform PUBLIC PkgConfig::COMSVC_X11)
