#pragma once
// The pages of the application, compiled into the program from src/ui/pages
// (cmake/embed_text.cmake): HTML, styles, script and icon, each with the path
// the browser asks for, and the report page's chart library.
#include <string_view>

namespace tallyx::ui {

extern const std::string_view kIndexPage;  // index.html, with {{TOKEN}} where the token goes
extern const std::string_view kAppStyle;   // app.css
extern const std::string_view kAppScript;  // app.js
extern const std::string_view kIcon;       // favicon.svg

struct PageAsset {
    std::string_view path;         // "/app.js"
    std::string_view contentType;  // "text/javascript; charset=utf-8"
    std::string_view data;
};

// The asset served at that path; null when there is none.
const PageAsset* FindPageAsset(std::string_view path);

}  // namespace tallyx::ui
