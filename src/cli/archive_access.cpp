#include "cli/archive_access.h"

#include <cstdio>

#include "cli/commands.h"
#include "platform/files.h"
#include "platform/user_folders.h"

namespace tallyx::cli {

std::string ArchivePath(const std::string& option) {
    if (!option.empty()) return option;
    const std::string environment = EnvironmentValue("TALLYX_ARCHIVE");
    if (!environment.empty()) return environment;
    const std::string folder = UserDataFolder();
    return folder.empty() ? std::string("archive.sqlite") : JoinPath(folder, "archive.sqlite");
}

int ArchiveFailure(const std::string& message) { return Fail(kExitArchive, message); }

int LookupFailure(const std::string& message) {
    return archive::IsNoSuchEntry(message) ? Fail(kExitUsage, message) : ArchiveFailure(message);
}

namespace {

std::string Capitalised(std::string sentence) {
    if (!sentence.empty() && sentence[0] >= 'a' && sentence[0] <= 'z') sentence[0] = static_cast<char>(sentence[0] - 'a' + 'A');
    return sentence;
}

}  // namespace

std::unique_ptr<archive::Archive> OpenArchive(const std::string& option, int& status) {
    std::string error;
    archive::DatabaseFault fault = archive::DatabaseFault::kNone;
    std::unique_ptr<archive::Archive> store = archive::Archive::Open(ArchivePath(option), error, fault);
    status = store ? kExitOk : ArchiveFailure(error);
    return store;
}

int ArchiveStudy(archive::Archive& store, const study::Study& study, const archive::ReadFacts& facts,
                 const std::string& what) {
    int64_t id = 0;
    archive::AddOutcome outcome = archive::AddOutcome::kAdded;
    std::string error;
    if (!store.Add(study, facts, id, outcome, error)) {
        const archive::DatabaseFault fault = store.LastFault();
        const std::string why = fault == archive::DatabaseFault::kFull       ? "the disk is full (" + error + ")"
                                : fault == archive::DatabaseFault::kReadOnly ? "it cannot be written (" + error + ")"
                                : fault == archive::DatabaseFault::kCorrupt  ? "it is damaged (" + error + ")"
                                : fault == archive::DatabaseFault::kBusy     ? "another program holds it (" + error + ")"
                                                                             : error;
        return ArchiveFailure(Capitalised(what) + " was not archived in " + store.Path() + ": " + why);
    }
    if (outcome == archive::AddOutcome::kAlreadyArchived) {
        std::printf("%s is already in the archive as study %lld; it is kept once.\n", Capitalised(what).c_str(),
                    static_cast<long long>(id));
    } else {
        std::printf("Archived %s as study %lld (%s).\n", what.c_str(), static_cast<long long>(id), store.Path().c_str());
    }
    return kExitOk;
}

}  // namespace tallyx::cli
