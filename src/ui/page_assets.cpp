#include "ui/page_assets.h"

#include "report/page_assets.h"

namespace tallyx::ui {

const PageAsset* FindPageAsset(std::string_view path) {
    static const PageAsset kAssets[] = {
        {"/index.html", "text/html; charset=utf-8", kIndexPage},
        {"/app.css", "text/css; charset=utf-8", kAppStyle},
        {"/app.js", "text/javascript; charset=utf-8", kAppScript},
        {"/favicon.svg", "image/svg+xml", kIcon},
        {"/chart.min.js", "text/javascript; charset=utf-8", report::kChartLibrary},
    };
    for (const PageAsset& asset : kAssets)
        if (asset.path == path) return &asset;
    return nullptr;
}

}  // namespace tallyx::ui
