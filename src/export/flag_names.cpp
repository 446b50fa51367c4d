#include "export/flag_names.h"

#include "export/text_line.h"

namespace tallyx {

bool AppendFlagDescription(FlagNameTable table, uint16_t flags, TextLine& line) {
    bool first = true;
    for (size_t i = 0; i < table.size(); ++i) {
        const FlagName& entry = table[i];
        if ((flags & entry.mask) == 0) continue;
        if (entry.yieldsToPrevious && i > 0 && (flags & table[i - 1].mask) != 0) continue;
        if (!first) line.AppendChar('+');
        line.Append(entry.name);
        first = false;
    }
    return line.Ok();
}

bool FormatFlagDescription(FlagNameTable table, uint16_t flags, char* buffer, uint32_t size) {
    TextLine line(buffer, size);
    return AppendFlagDescription(table, flags, line);
}

}  // namespace tallyx
