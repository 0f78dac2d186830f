#pragma once
// The web page's files (tools/ioxd/web), built into the program.

#include <optional>
#include <string_view>

namespace iox::web {

// The file's bytes by its name ("index.html", "app.js", "style.css"), or nothing.
std::optional<std::string_view> webFile(std::string_view name);

}  // namespace iox::web
