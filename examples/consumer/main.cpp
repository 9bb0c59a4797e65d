// A program built against an installed or bundled comsvc: reads a forgiving
// JSON document, prints a member, digests a text, and reports a runtime
// error the way a host would.
#include <comsvc/comsvc.h>

#include <iostream>

int main() {
  using namespace comsvc;
  std::cout << "comsvc " << COMSVC_VERSION << "\n";

  const auto [root, errors] = JSON::Read(u"{name: 'consumer', sizes: [1, 2.5]}");
  if (!errors.empty() || !root.IsObject()) {
    std::cerr << "unreadable: " << EncodeUtf8(errors) << "\n";
    return 1;
  }
  if (const Value* name = root.AsObject()->Find(u"name"); name && name->IsString()) {
    std::cout << "name: " << EncodeUtf8(name->AsString()) << "\n";
  }

  MD5 md5;
  std::cout << "md5: " << EncodeUtf8(md5.Md5_String_Calc(u"abc")) << "\n";

  try {
    root.AsObject()->Add(u"name", Value(u"again"));  // the key is taken
  } catch (const RuntimeError& e) {
    std::cout << "error " << e.Number() << ": " << e.Description() << "\n";
  }
  return 0;
}
