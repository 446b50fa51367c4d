#include "report/report_html.h"

namespace tallyx::report {

namespace {

std::string Escape(const std::string& text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

}  // namespace

std::string ReportHtml(const json::Value& document) {
    std::string data = json::Write(document, 0);
    // The data sits in a script element: no "</" may end it early.
    for (size_t at = data.find("</"); at != std::string::npos; at = data.find("</", at + 2)) data.replace(at, 2, "<\\/");
    const json::Value* study = document.Find("study");
    const std::string place = study != nullptr ? study->Text("address") : "";
    return "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
           Escape(place.empty() ? "Traffic study" : place) +
           "</title>\n</head>\n<body>\n<script type=\"application/json\" id=\"report-data\">" + data +
           "</script>\n</body>\n</html>\n";
}

}  // namespace tallyx::report
