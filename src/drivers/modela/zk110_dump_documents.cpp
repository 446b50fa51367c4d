// The dump documents of the model A driver, written into the comm log's dump
// file.
#include "comm/comm_log.h"
#include "drivers/modela/zk110_driver.h"
#include "export/dump_document_builder.h"
#include "drivers/modela/zk110_raw_layouts.h"

namespace tallyx {

bool ZK110Driver::WritesDumpDocuments() const { return commLog->Folder()[0] != '\0'; }

void ZK110Driver::WriteSequentialRawDocument(const uint8_t* data, uint32_t length) {
    if (!WritesDumpDocuments()) return;
    DumpDocumentBuilder([this](const char* text) { commLog->WriteDumpDocument(text); })
        .WriteRaw(kZK110SequentialRawLayout, data, length);
}

void ZK110Driver::WritePeriodicRawDocument(const uint8_t* data, uint32_t length) {
    if (!WritesDumpDocuments()) return;
    DumpDocumentBuilder([this](const char* text) { commLog->WriteDumpDocument(text); })
        .WriteRaw(kZK110PeriodicRawLayout, data, length);
}

void ZK110Driver::WriteProcessedDocument() {
    if (!WritesDumpDocuments()) return;
    DumpDocumentBuilder([this](const char* text) { commLog->WriteDumpDocument(text); })
        .WriteProcessed(*properties, *values);
}

void ZK110Driver::WriteStudySettingsDocument() {
    if (!WritesDumpDocuments()) return;
    DumpDocumentBuilder([this](const char* text) { commLog->WriteDumpDocument(text); })
        .WriteStudySettings(*properties);
}

}  // namespace tallyx
