// comsvc url parse [--json] URL | comsvc url encode TEXT: the URL helper.
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/url_parts_json.h"
#include <comsvc/url_helper.h>

namespace comsvc::cli {

namespace {

constexpr const char* kUrlHelp =
    "usage: comsvc url parse [--json] URL\n"
    "       comsvc url encode TEXT\n"
    "\n"
    "parse   splits URL with ParseUrl and prints Scheme, Host, Port, Path and\n"
    "        Query, one per line as 'Name: value'; with --json one object\n"
    "        {\"Scheme\":...,\"Host\":...,\"Port\":N,\"Path\":...,\"Query\":...}.\n"
    "        A scheme other than \"http\" shows the \"Invalid protocol schema\" box;\n"
    "        a port or position beyond 32767 fails with error 6 (exit status 1).\n"
    "encode  prints PercentEncode of TEXT: ASCII letters and digits as they\n"
    "        are, every other character as %XX per byte of the ANSI code page.\n";

int Parse(const Arguments& arguments) {
  arguments.RequirePositionals(2, 2);
  const url_helper::UrlParts parts = url_helper::ParseUrl(ArgumentText(arguments.Positionals()[1]));
  if (arguments.Has("json")) {
    PrintUtf8(UrlPartsJson(parts, false) + "\n");
  } else {
    Print(u"Scheme: " + parts.Scheme + u"\nHost: " + parts.Host + u"\n");
    PrintUtf8("Port: " + std::to_string(parts.Port) + "\n");
    Print(u"Path: " + parts.Path + u"\nQuery: " + parts.Query + u"\n");
  }
  return kExitOk;
}

int Encode(const Arguments& arguments) {
  arguments.RequirePositionals(2, 2);
  if (arguments.Has("json")) throw UsageError("url encode takes no --json");
  Print(url_helper::PercentEncode(ArgumentText(arguments.Positionals()[1])) + u"\n");
  return kExitOk;
}

int RunUrl(Context&, const Arguments& arguments) {
  const auto& positionals = arguments.Positionals();
  if (!positionals.empty() && positionals[0] == "parse") return Parse(arguments);
  if (!positionals.empty() && positionals[0] == "encode") return Encode(arguments);
  throw UsageError("the first argument is parse or encode");
}

}  // namespace

const Subcommand kUrlCommand = {
    "url", "split a URL into its parts, or percent-encode a form value",
    kUrlHelp, {{"json"}}, RunUrl};

}  // namespace comsvc::cli
