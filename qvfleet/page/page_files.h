// The page's own script and style (qvfleet/page/page.js and page.css), built
// into the program so that `qvfleet page` needs no file beside it.
#pragma once

#include <string_view>

namespace qv {

[[nodiscard]] std::string_view page_script();
[[nodiscard]] std::string_view page_style();

}  // namespace qv
