#pragma once
// The pages of the application, compiled into the program: HTML, styles,
// scripts and the chart library, each with the path the browser asks for.
#include <string_view>

namespace tallyx::ui {

struct PageAsset {
    std::string_view path;         // "/app.js"
    std::string_view contentType;  // "text/javascript; charset=utf-8"
    std::string_view data;
};

// The asset served at that path; null when there is none.
const PageAsset* FindPageAsset(std::string_view path);

}  // namespace tallyx::ui
