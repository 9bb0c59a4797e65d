// Every public header of the comsvc library.
#pragma once

#include <comsvc/code_page.h>
#include <comsvc/dialogs.h>
#include <comsvc/folder_locations.h>
#include <comsvc/form_post.h>
#include <comsvc/ini_settings.h>
#include <comsvc/json_located.h>
#include <comsvc/json_path.h>
#include <comsvc/json_reader.h>
#include <comsvc/json_script.h>
#include <comsvc/json_script_events.h>
#include <comsvc/json_script_lint.h>
#include <comsvc/locale.h>
#include <comsvc/md5_digest.h>
#include <comsvc/md5_function.h>
#include <comsvc/message_loop.h>
#include <comsvc/message_window.h>
#include <comsvc/runtime_error.h>
#include <comsvc/string_builder.h>
#include <comsvc/url_helper.h>
#include <comsvc/utf8.h>
#include <comsvc/value.h>
#include <comsvc/value_text.h>
#include <comsvc/version.h>
