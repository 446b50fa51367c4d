#pragma once
// The archive's tables, and the steps that bring each older version of them up
// to the current one. Plain SQL: integers, texts and reals, keys and foreign
// keys, nothing a server database could not hold.
#include <string_view>
#include <vector>

namespace tallyx::archive {

// "TALY": marks an SQLite file as a tallyx archive.
inline constexpr int kApplicationId = 0x54414C59;

// The statements that make the current schema in an empty file.
std::string_view CurrentSchema();

// Forward migrations: entry k brings version k + 1 up to version k + 2 (the
// first schema is version 1, made whole by CurrentSchema()).
const std::vector<std::string_view>& Migrations();

}  // namespace tallyx::archive
