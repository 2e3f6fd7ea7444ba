// Namespace URIs of XMP packets. The metadata library's encoder gives every
// namespace URI that ends in neither '/' nor '#' a trailing '/', which makes
// it a different namespace whose properties readers no longer find; the
// functions here put the URIs a source declared back as they were.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace imprimo {

// The URIs of the namespace declarations (xmlns:prefix="...") in a packet,
// in the order they appear.
std::vector<std::string> DeclaredXmpNamespaces(std::string_view packet);

// Rewrites the namespace declarations of written whose URI is one that the
// source packet declared without a trailing '/' plus that '/', so they name
// the source's namespace again. A URI the source declared both with and
// without the '/' is left alone (the encoder merged the two).
void RestoreXmpNamespaces(std::string_view source, std::string& written);

}  // namespace imprimo
