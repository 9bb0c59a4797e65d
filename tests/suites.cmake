# The test suites, one program each: tests/MODULE/NAME_test.cpp is listed
# as MODULE/NAME. Suites that run on every build, then those that need a
# Linux peer (a child process, an X server, zenity, XDG files, cpp-httplib,
# OpenSSL), then their Windows counterparts under tests/*/win32/, which run
# against the system's own services.
set(COMSVC_SUITES_EVERYWHERE
  core/value
  text/string_builder
  digest/md5 digest/md5_file_large
  json/json_reader json/json_script
  http/url_helper http/form_post
  os/path_rules
  runtime/code_page runtime/locale runtime/dialogs
  ini/ini_settings)
set(COMSVC_SUITES_LINUX
  cli/command_line cli/json_cli cli/service_commands
  json/json_reader_large json/json_reader_utf8 json/out_of_memory
  http/form_post_exchange
  runtime/code_page_large
  os/desktop_boxes
  ini/ini_profile
  socket/tcp_socket
  window/message_window
  folders/folder_locations)
set(COMSVC_SUITES_WINDOWS
  cli/win32/cli_on_windows
  os/win32/windows_services
  runtime/win32/ole_numbers
  ini/win32/ini_differential)
