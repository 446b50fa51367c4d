// The report page's text: the study's 8-bit texts and the embedded document
// made safe for HTML, whatever bytes a counter holds, and the page of a study
// with nothing in it. The page in a browser is tested in tests/browser/.
#include <gtest/gtest.h>

#include <string>

#include "json/json_value.h"
#include "report/html_text.h"
#include "report/report_html.h"
#include "report/report_json.h"
#include "report/study_figures.h"

namespace tallyx::report {
namespace {

TEST(ReportHtmlText, StudyTextsBecomeEscapedUtf8) {
    const struct {
        std::string text, html;
    } cases[] = {
        {"Main St", "Main St"},
        {"</script><i>Elm & \"5th\" 'N'", "&lt;/script&gt;&lt;i&gt;Elm &amp; &quot;5th&quot; &#39;N&#39;"},
        {"Saint-R\xC3\xA9mi \xE2\x82\xAC", "Saint-R\xC3\xA9mi \xE2\x82\xAC"},   // UTF-8 stays
        {"Saint-R\xE9mi", "Saint-R\xC3\xA9mi"},                                  // Latin-1 becomes UTF-8
        {"\xC3", "\xC3\x83"},                                                    // a sequence cut off
        {"\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xEF\xBF\xBD"},                       // no surrogates; C1 bytes replaced
        {"\xC0\xAF", "\xC3\x80\xC2\xAF"},                                        // no overlong forms
        {std::string("a\0b\x7F\tc", 6), "a\xEF\xBF\xBD" "b\xEF\xBF\xBD c"},    // control characters
    };
    for (const auto& c : cases) EXPECT_EQ(HtmlText(c.text), c.html) << c.text;
}

TEST(ReportHtmlText, EmbeddedDocumentCannotEndItsElementAndReadsBackTheSame) {
    json::Value document = json::Value::Object();
    document.Set("address", json::Value::String("</script><!--<script>\xE9"));
    const std::string embedded = ScriptJson(json::Write(document, 0));
    EXPECT_EQ(embedded.find('<'), std::string::npos);
    json::Value back;
    std::string error;
    ASSERT_TRUE(json::Parse(embedded, back, error)) << error;
    EXPECT_EQ(back.Text("address"), "</script><!--<script>\xC3\xA9");
}

TEST(ReportHtmlText, NumbersAsTheTablesShowThem) {
    EXPECT_EQ(GroupedCount(0), "0");
    EXPECT_EQ(GroupedCount(999), "999");
    EXPECT_EQ(GroupedCount(1000000), "1,000,000");
    EXPECT_EQ(GroupedCount(-12345), "-12,345");
    EXPECT_EQ(Fixed(242.5, 0), "242");  // ties to even, as the figures' rounding does
    EXPECT_EQ(Fixed(35714.25, 1), "35,714.2");
    EXPECT_EQ(Fixed(-0.01, 1), "0.0");
}

TEST(ReportHtmlPage, EmptyStudySaysSoAndCarriesEverythingInline) {
    study::Study study;
    study.SetSetting(study::SettingKey::kAddress, "Elm <St>");
    const std::string page = ReportHtml(ReportDocument(study, ComputeFigures(study)));
    EXPECT_NE(page.find("<h1>Elm &lt;St&gt;</h1>"), std::string::npos);
    EXPECT_NE(page.find("the study holds no vehicles"), std::string::npos);
    EXPECT_NE(page.find("Chart.js v3.9.1"), std::string::npos);  // the library, its licence header kept
    EXPECT_NE(page.find("@page"), std::string::npos);
    EXPECT_EQ(page.find(" src="), std::string::npos);
    EXPECT_EQ(page.find("<link"), std::string::npos);
    // Nothing to draw: the page says why instead of leaving an empty canvas.
    EXPECT_EQ(page.find("<canvas"), std::string::npos);
    EXPECT_NE(page.find("No vehicle has a speed"), std::string::npos);
}

}  // namespace
}  // namespace tallyx::report
