#pragma once
// How the raw records of a model B counter appear in the dump documents.
#include "export/dump_document_builder.h"

namespace tallyx {

extern const RawRecordLayout kZK220SequentialRawLayout;

}  // namespace tallyx
