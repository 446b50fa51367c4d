#pragma once
// The application's API for the archive: studies with filters, one study with
// its report document, the files of a study for download (named by the
// study's archive id, never by a path), the fleet of counters and the
// register of sites with its editable codes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "archive/archive.h"
#include "json/json_value.h"
#include "server/http_message.h"

namespace tallyx::ui {

class ArchiveApi {
public:
    explicit ArchiveApi(std::string archiveOption) : option_(std::move(archiveOption)) {}

    std::optional<server::Response> Handle(const server::Request& request);

private:
    // The archive, opened on first use; null with the failure answer set.
    archive::Archive* Store(server::Response& failure);
    server::Response Studies(const server::Request& request);
    server::Response Study(int64_t id);
    server::Response File(int64_t id, const std::string& name, bool view);
    server::Response Counters();
    server::Response Sites();
    server::Response Site(int64_t id);
    server::Response EditSite(int64_t id, const server::Request& request);
    // The study and its report document, kept for the last study asked for.
    bool LoadStudy(int64_t id, server::Response& failure);

    std::string option_;
    std::unique_ptr<archive::Archive> store_;
    int64_t loadedId_ = 0;
    std::unique_ptr<study::Study> loaded_;
    json::Value document_;
    archive::StudyEntry entry_;
};

}  // namespace tallyx::ui
