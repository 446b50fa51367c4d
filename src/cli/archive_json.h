#pragma once
// The archive's entries as JSON, as tallyx archive --json prints them and the
// browser application serves them.
#include "archive/archive.h"
#include "json/json_value.h"

namespace tallyx::cli {

json::Value EntryJson(const archive::StudyEntry& entry);
json::Value SiteJson(const archive::SiteEntry& site);
json::Value CounterJson(const archive::CounterEntry& counter);

}  // namespace tallyx::cli
