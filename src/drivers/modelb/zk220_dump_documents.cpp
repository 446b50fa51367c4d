// The dump documents of the model B driver, written into the comm log's dump
// file.
#include "comm/comm_log.h"
#include "drivers/modelb/zk220_driver.h"
#include "drivers/modelb/zk220_raw_layouts.h"
#include "export/dump_document_builder.h"

namespace tallyx {

bool ZK220Driver::WritesDumpDocuments() const { return commLog->Folder()[0] != '\0'; }

void ZK220Driver::WriteSequentialRawDocument(const uint8_t* data, uint32_t length) {
    if (!WritesDumpDocuments()) return;
    DumpDocumentBuilder([this](const char* text) { commLog->WriteDumpDocument(text); })
        .WriteRaw(kZK220SequentialRawLayout, data, length);
}

void ZK220Driver::WriteProcessedDocument() {
    if (!WritesDumpDocuments()) return;
    DumpDocumentBuilder([this](const char* text) { commLog->WriteDumpDocument(text); })
        .WriteProcessed(*properties, *values);
}

}  // namespace tallyx
