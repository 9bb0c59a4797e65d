#include "cli/url_parts_json.h"

#include "cli/json_output.h"

namespace comsvc::cli {

namespace {

void AppendMember(std::string& out, const char* name, std::u16string_view value) {
  out += out.size() > 1 ? ",\"" : "\"";
  out += name;
  out += "\":";
  AppendJsonString(out, value);
}

}  // namespace

std::string UrlPartsJson(const url_helper::UrlParts& parts, bool request_fields) {
  std::string out = "{";
  AppendMember(out, "Scheme", parts.Scheme);
  AppendMember(out, "Host", parts.Host);
  out += ",\"Port\":" + std::to_string(parts.Port);
  AppendMember(out, "Path", parts.Path);
  AppendMember(out, "Query", parts.Query);
  if (request_fields) {
    AppendMember(out, "Headers", parts.Headers);
    AppendMember(out, "Body", parts.Body);
    AppendMember(out, "RequestText", parts.RequestText);
  }
  return out + "}";
}

}  // namespace comsvc::cli
