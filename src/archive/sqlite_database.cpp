#include "archive/sqlite_database.h"

#include <sqlite3.h>

#include <cerrno>

namespace tallyx::archive {

namespace {

// Writers wait this long for one another before a user hears of it: a read of a
// million vehicles takes a few seconds to archive.
constexpr int kBusyTimeoutMs = 120000;

// Whether the system's error behind an I/O failure says the disk (or the
// space the file may take) is full: errno on POSIX systems, the Windows error
// code (ERROR_HANDLE_DISK_FULL 39, ERROR_DISK_FULL 112) on Windows.
bool DiskFull(int systemError) {
#if defined(_WIN32)
    return systemError == 39 || systemError == 112;
#else
    return systemError == ENOSPC || systemError == EFBIG || systemError == EDQUOT;
#endif
}

}  // namespace

Database::~Database() {
    if (db_ != nullptr) sqlite3_close_v2(db_);
}

void Database::NoteFault(int code) {
    if ((code & 0xFF) == SQLITE_IOERR && db_ != nullptr && DiskFull(sqlite3_system_errno(db_))) {
        fault_ = DatabaseFault::kFull;
        return;
    }
    switch (code & 0xFF) {
        case SQLITE_NOTADB: fault_ = DatabaseFault::kNotADatabase; break;
        case SQLITE_CORRUPT: fault_ = DatabaseFault::kCorrupt; break;
        case SQLITE_READONLY: fault_ = DatabaseFault::kReadOnly; break;
        case SQLITE_FULL: fault_ = DatabaseFault::kFull; break;
        case SQLITE_BUSY:
        case SQLITE_LOCKED: fault_ = DatabaseFault::kBusy; break;
        case SQLITE_CANTOPEN: fault_ = DatabaseFault::kCannotOpen; break;
        case SQLITE_PERM: fault_ = DatabaseFault::kReadOnly; break;
        case SQLITE_IOERR:
            fault_ = (code == SQLITE_IOERR_WRITE || code == SQLITE_IOERR_FSYNC) ? DatabaseFault::kFull : DatabaseFault::kOther;
            break;
        default: fault_ = DatabaseFault::kOther;
    }
}

std::string Database::ErrorText(int code) {
    NoteFault(code);
    const char* text = db_ != nullptr ? sqlite3_errmsg(db_) : sqlite3_errstr(code);
    return text != nullptr ? text : sqlite3_errstr(code);
}

bool Database::Open(const std::string& path, bool create, std::string& error) {
    fault_ = DatabaseFault::kNone;
    const int flags = SQLITE_OPEN_READWRITE | (create ? SQLITE_OPEN_CREATE : 0) | SQLITE_OPEN_NOMUTEX;
    const int code = sqlite3_open_v2(path.c_str(), &db_, flags, nullptr);
    if (code != SQLITE_OK) {
        error = ErrorText(code);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        return false;
    }
    sqlite3_extended_result_codes(db_, 1);
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    return true;
}

bool Database::Exec(std::string_view sql, std::string& error) {
    char* message = nullptr;
    const int code = sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &message);
    if (code == SQLITE_OK) return true;
    NoteFault(code);
    error = message != nullptr ? message : sqlite3_errstr(code);
    sqlite3_free(message);
    return false;
}

std::optional<int64_t> Database::Integer(std::string_view sql, std::string& error) {
    Statement statement(*this, sql);
    if (!statement.Ok()) {
        error = statement.PrepareError();
        return std::nullopt;
    }
    if (!statement.Step()) {
        error = statement.Failed() ? statement.Error() : "no row";
        return std::nullopt;
    }
    return statement.Int(0);
}

void Database::RollBack() {
    const DatabaseFault fault = fault_;
    if (sqlite3_get_autocommit(db_) == 0) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    fault_ = fault;
}

int64_t Database::LastInsertId() const { return sqlite3_last_insert_rowid(db_); }

int Database::Changes() const { return sqlite3_changes(db_); }

Statement::Statement(Database& db, std::string_view sql) : db_(db) {
    const int code = sqlite3_prepare_v2(db.db_, sql.data(), static_cast<int>(sql.size()), &stmt_, nullptr);
    if (code != SQLITE_OK) {
        error_ = db.ErrorText(code);
        sqlite3_finalize(stmt_);
        stmt_ = nullptr;
    }
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, int64_t value) {
    sqlite3_bind_int64(stmt_, index, value);
    return *this;
}

Statement& Statement::Bind(int index, double value) {
    sqlite3_bind_double(stmt_, index, value);
    return *this;
}

Statement& Statement::Bind(int index, std::string_view text) {
    sqlite3_bind_text(stmt_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindNull(int index) {
    sqlite3_bind_null(stmt_, index);
    return *this;
}

Statement& Statement::BindBlob(int index, const void* data, size_t size) {
    sqlite3_bind_blob(stmt_, index, data, static_cast<int>(size), SQLITE_TRANSIENT);
    return *this;
}

bool Statement::Step() {
    lastCode_ = sqlite3_step(stmt_);
    if (lastCode_ == SQLITE_ROW) return true;
    failed_ = lastCode_ != SQLITE_DONE;
    if (failed_) db_.NoteFault(lastCode_);
    return false;
}

bool Statement::Run(std::string& error) {
    Step();
    const bool ok = !failed_;
    if (!ok) error = Error();
    Reset();
    return ok;
}

void Statement::Reset() {
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    failed_ = false;
}

bool Statement::IsNull(int column) const { return sqlite3_column_type(stmt_, column) == SQLITE_NULL; }

int64_t Statement::Int(int column) const { return sqlite3_column_int64(stmt_, column); }

double Statement::Real(int column) const { return sqlite3_column_double(stmt_, column); }

std::string Statement::Text(int column) const {
    const auto* text = sqlite3_column_text(stmt_, column);
    return text == nullptr ? std::string() : std::string(reinterpret_cast<const char*>(text), static_cast<size_t>(sqlite3_column_bytes(stmt_, column)));
}

std::string Statement::Error() {
    db_.NoteFault(lastCode_);
    const char* text = sqlite3_errmsg(db_.db_);
    return text != nullptr ? text : sqlite3_errstr(lastCode_);
}

}  // namespace tallyx::archive
