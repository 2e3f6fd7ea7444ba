#include "exif/xmp_namespaces.h"

#include <algorithm>
#include <cctype>

namespace imprimo {

namespace {

// One namespace declaration: where its URI starts and ends in the packet.
struct TDeclaration {
  size_t Begin = 0, End = 0;
};

std::vector<TDeclaration> Declarations(std::string_view packet) {
  std::vector<TDeclaration> found;
  static constexpr std::string_view kAttribute = "xmlns:";
  for (size_t p = packet.find(kAttribute); p != std::string_view::npos;
       p = packet.find(kAttribute, p + 1)) {
    // The attribute name must stand on its own ("<x xmlns:a=", not "axmlns:").
    if (p > 0 && !std::isspace(static_cast<unsigned char>(packet[p - 1]))) continue;
    size_t q = p + kAttribute.size();
    while (q < packet.size() &&
           (std::isalnum(static_cast<unsigned char>(packet[q])) || packet[q] == '_' ||
            packet[q] == '-' || packet[q] == '.' || static_cast<unsigned char>(packet[q]) >= 0x80))
      ++q;
    while (q < packet.size() && std::isspace(static_cast<unsigned char>(packet[q]))) ++q;
    if (q >= packet.size() || packet[q] != '=') continue;
    ++q;
    while (q < packet.size() && std::isspace(static_cast<unsigned char>(packet[q]))) ++q;
    if (q >= packet.size() || (packet[q] != '"' && packet[q] != '\'')) continue;
    const size_t end = packet.find(packet[q], q + 1);
    if (end == std::string_view::npos) break;
    found.push_back({q + 1, end});
    p = end;
  }
  return found;
}

bool EndsWithSeparator(std::string_view uri) {
  return !uri.empty() && (uri.back() == '/' || uri.back() == '#');
}

}  // namespace

std::vector<std::string> DeclaredXmpNamespaces(std::string_view packet) {
  std::vector<std::string> uris;
  for (const TDeclaration& d : Declarations(packet))
    uris.emplace_back(packet.substr(d.Begin, d.End - d.Begin));
  return uris;
}

void RestoreXmpNamespaces(std::string_view source, std::string& written) {
  const std::vector<std::string> declared = DeclaredXmpNamespaces(source);
  auto isDeclared = [&](const std::string& uri) {
    return std::find(declared.begin(), declared.end(), uri) != declared.end();
  };
  std::vector<std::string> changed;  // the URIs as the encoder writes them
  for (const std::string& uri : declared)
    if (!EndsWithSeparator(uri) && !isDeclared(uri + "/")) changed.push_back(uri + "/");
  if (changed.empty()) return;
  // Back to front, so the positions of the declarations not yet visited hold.
  const std::vector<TDeclaration> at = Declarations(written);
  for (auto d = at.rbegin(); d != at.rend(); ++d) {
    const std::string_view uri(written.data() + d->Begin, d->End - d->Begin);
    if (std::find(changed.begin(), changed.end(), uri) != changed.end())
      written.erase(d->End - 1, 1);
  }
}

}  // namespace imprimo
