// comsvc request [--json] URL FORM: the request text BuildPostRequest composes.
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/url_parts_json.h"
#include <comsvc/form_post.h>

namespace comsvc::cli {

namespace {

constexpr const char* kRequestHelp =
    "usage: comsvc request [--json] URL FORM\n"
    "\n"
    "Prints the HTTP/1.0 POST request that BuildPostRequest composes for posting\n"
    "FORM (name=value items joined by '&'; values are percent-encoded) to URL,\n"
    "exactly: CR LF line ends kept, no newline added. With --json prints the\n"
    "eight fields Scheme, Host, Port, Path, Query, Headers, Body, RequestText.\n"
    "\n"
    "Exit status 1 when the URL or the form is refused (a box says why: no host,\n"
    "a control character in the host or path, an item empty or without '=').\n";

int RunRequest(Context&, const Arguments& arguments) {
  arguments.RequirePositionals(2, 2);
  const Remote::UrlParts parts = Remote::BuildPostRequest(ArgumentText(arguments.Positionals()[0]),
                                                          ArgumentText(arguments.Positionals()[1]));
  if (arguments.Has("json")) {
    PrintUtf8(UrlPartsJson(parts, true) + "\n");
  } else {
    Print(parts.RequestText);
  }
  return parts.RequestText.empty() ? kExitFailure : kExitOk;
}

}  // namespace

const Subcommand kRequestCommand = {
    "request", "print the HTTP/1.0 POST request composed for a form",
    kRequestHelp, {{"json"}}, RunRequest};

}  // namespace comsvc::cli
