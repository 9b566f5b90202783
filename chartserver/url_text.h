// Pieces of the upstream URLs: escaped values and queries added to a root.
#pragma once

#include <string>

namespace chartloom::chartserver {

// Every byte but the unreserved ones percent-encoded (a query value, a path segment).
std::string urlEscaped(const std::string& text);
// `url` with `query` added ("?" or "&" as the URL needs).
std::string withQuery(const std::string& url, const std::string& query);

}  // namespace chartloom::chartserver
