#pragma once
// A thin owner of an SQLite connection and its prepared statements: opening
// with the archive's settings, statements that reset themselves, and every
// failure turned into a sentence with SQLite's own words.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace tallyx::archive {

// What went wrong, in the terms a user can act on.
enum class DatabaseFault {
    kNone,
    kNotADatabase,  // the file is not an SQLite database
    kCorrupt,       // the database is damaged
    kReadOnly,      // the file or its folder cannot be written
    kFull,          // the disk is full
    kBusy,          // another program held the database longer than the wait
    kCannotOpen,    // the file or its folder is missing or out of reach
    kOther,
};

class Statement;

class Database {
public:
    Database() = default;
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens (and creates, when asked) the file; false with the fault and a sentence.
    bool Open(const std::string& path, bool create, std::string& error);
    bool IsOpen() const { return db_ != nullptr; }

    // Runs statements that return no rows; false with the error set.
    bool Exec(std::string_view sql, std::string& error);
    // The single integer a query gives (PRAGMA user_version, COUNT(*)...).
    std::optional<int64_t> Integer(std::string_view sql, std::string& error);

    DatabaseFault LastFault() const { return fault_; }
    // Ends an open transaction without a trace: the fault that made it fail stays the last one.
    void RollBack();
    int64_t LastInsertId() const;
    int Changes() const;

    // SQLite's text for its last failure, with the fault noted.
    std::string ErrorText(int code);

    sqlite3* Handle() const { return db_; }

private:
    friend class Statement;
    void NoteFault(int code);

    sqlite3* db_ = nullptr;
    DatabaseFault fault_ = DatabaseFault::kNone;
};

// A prepared statement, reset after each run of rows.
class Statement {
public:
    Statement(Database& db, std::string_view sql);
    ~Statement();
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool Ok() const { return stmt_ != nullptr; }
    const std::string& PrepareError() const { return error_; }

    Statement& Bind(int index, int64_t value);
    Statement& Bind(int index, double value);
    Statement& Bind(int index, std::string_view text);
    Statement& BindNull(int index);
    Statement& BindBlob(int index, const void* data, size_t size);

    // One step: true with a row, false at the end or on a failure (then Failed()).
    bool Step();
    bool Failed() const { return failed_; }
    // Runs a statement without rows to its end; false with error set on a failure.
    bool Run(std::string& error);
    void Reset();

    bool IsNull(int column) const;
    int64_t Int(int column) const;
    double Real(int column) const;
    std::string Text(int column) const;

    std::string Error();

private:
    Database& db_;
    sqlite3_stmt* stmt_ = nullptr;
    std::string error_;
    bool failed_ = false;
    int lastCode_ = 0;
};

}  // namespace tallyx::archive
