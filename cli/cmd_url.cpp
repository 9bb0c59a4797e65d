// comsvc url parse [--json] URL | comsvc url encode TEXT: the URL helper.
#include <string>
#include <vector>

#include "cli/app.h"
#include "cli/commands.h"
#include "cli/url_parts_json.h"
#include <comsvc/url_helper.h>

namespace comsvc::cli {

namespace {

constexpr const char* kUrlUsage = "comsvc url parse [--json] URL | comsvc url encode TEXT";

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
  arguments.RequirePositionals(2, 2, kUrlUsage);
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
  arguments.RequirePositionals(2, 2, kUrlUsage);
  if (arguments.Has("json")) throw CommandLineError(std::string("usage: ") + kUrlUsage);
  Print(url_helper::PercentEncode(ArgumentText(arguments.Positionals()[1])) + u"\n");
  return kExitOk;
}

}  // namespace

int RunUrl(Context&, const std::vector<std::string>& args) {
  Arguments arguments(args, {{"json"}});
  if (PrintedHelp(arguments, kUrlHelp)) return kExitOk;
  const auto& positionals = arguments.Positionals();
  if (!positionals.empty() && positionals[0] == "parse") return Parse(arguments);
  if (!positionals.empty() && positionals[0] == "encode") return Encode(arguments);
  throw CommandLineError(std::string("usage: ") + kUrlUsage);
}

}  // namespace comsvc::cli
