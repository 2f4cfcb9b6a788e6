// The HTML page of `vextrel report`: markup, style and the script that draws the embedded data on
// canvases. Self-contained: it loads nothing from anywhere.
#pragma once

#include <string>

namespace vextrel::tool {

// The page with `title` and `json` (the report's data) embedded.
std::string ReportPage(const std::string& title, const std::string& json);

}  // namespace vextrel::tool
