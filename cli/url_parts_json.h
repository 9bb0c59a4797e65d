// UrlParts as the command line prints it in JSON.
#pragma once

#include <string>

#include <comsvc/url_helper.h>

namespace comsvc::cli {

// {"Scheme":…,"Host":…,"Port":N,"Path":…,"Query":…} and, with
// `request_fields`, "Headers", "Body" and "RequestText" after them.
std::string UrlPartsJson(const url_helper::UrlParts& parts, bool request_fields);

}  // namespace comsvc::cli
