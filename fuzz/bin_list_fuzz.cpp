// Bin lists from any text: the input is a speed list and a length list
// separated by a zero byte, then speed and length pairs of vehicles. Each list
// is parsed, checked for order, written back into buffers of every size
// around its length, converted between units in place, and both lists make a
// bin matrix that counts the vehicles.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include <tallyx/tallyx.h>

#include "export/bin_matrix.h"
#include "fuzz_input.h"
#include "properties/bin_list.h"
#include "properties/unit_conversion.h"

namespace {

using namespace tallyx;

// The list written into a buffer of exactly size bytes: a terminated text,
// the whole list when it says so, else the numbers that fit and no others.
void CheckFormat(const std::vector<uint32_t>& numbers, const std::string& whole, uint32_t size) {
    std::unique_ptr<char[]> buffer(size != 0 ? new char[size] : nullptr);
    const int32_t result = FormatBinList(numbers, buffer.get(), size);
    if (size == 0) {
        if (result != RETCODE_ERR_BUFFERTOOSMALL) std::abort();
        return;
    }
    const size_t length = strnlen(buffer.get(), size);
    if (length >= size) std::abort();
    const std::string text(buffer.get(), length);
    if (result == RETCODE_OK) {
        if (text != whole) std::abort();
        return;
    }
    if (result != RETCODE_ERR_BUFFERTOOSMALL || whole.size() < size) std::abort();
    if (whole.compare(0, length, text) != 0 || (whole[length] != ' ' && length != 0)) std::abort();
    // The next number would not have fitted with its separator and the zero.
    const size_t next = whole.find(' ', length == 0 ? 0 : length + 1);
    if ((next == std::string::npos ? whole.size() : next) < size) std::abort();
}

void CheckList(const std::string& text) {
    std::vector<uint32_t> numbers;
    const uint32_t count = ParseBinList(text.c_str(), numbers);
    if (count != numbers.size()) std::abort();

    bool increasing = true;
    for (size_t i = 1; i < numbers.size(); ++i) increasing = increasing && numbers[i] > numbers[i - 1];
    const BinListOrder order = CheckBinList(text.c_str());
    const BinListOrder expected = numbers.empty() ? BinListOrder::Empty
                                  : increasing    ? BinListOrder::Increasing
                                                  : BinListOrder::OutOfSequence;
    if (order != expected) std::abort();

    std::string whole;
    for (uint32_t number : numbers) whole += (whole.empty() ? "" : " ") + std::to_string(number);
    const uint32_t length = static_cast<uint32_t>(whole.size());
    for (uint32_t size : {0u, 1u, 2u, length / 2, length, length + 1, length + 2}) CheckFormat(numbers, whole, size);

    // Written and parsed again, the list keeps its numbers.
    std::vector<uint32_t> again;
    ParseBinList(whole.c_str(), again);
    if (again != numbers) std::abort();

    // Converted in place within buffers just large enough for the text and a
    // little larger.
    for (UnitKind kind : {UnitKind::Speed, UnitKind::SpeedList, UnitKind::LengthList}) {
        for (uint32_t room : {1u, 2u, 9u}) {
            const uint32_t size = static_cast<uint32_t>(text.size()) + room;
            std::unique_ptr<char[]> buffer(new char[size]);
            std::memcpy(buffer.get(), text.c_str(), text.size() + 1);
            ConvertToStoredUnits(kind, buffer.get(), size);
            if (strnlen(buffer.get(), size) >= size) std::abort();
            ConvertToCallerUnits(kind, buffer.get(), size);
            if (strnlen(buffer.get(), size) >= size) std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::FuzzInput in(data, size);
    const std::string speeds = in.Text();
    const std::string lengths = in.Text();
    CheckList(speeds);
    CheckList(lengths);

    BinMatrix matrix;
    if (!matrix.Load(speeds.c_str(), lengths.c_str())) return 0;
    if (matrix.Exists() != matrix.HasLimits()) std::abort();
    uint32_t added = 0;
    while (in.Left() >= 2 && added < 1000) {
        const uint32_t speed = in.Byte();
        const uint32_t length = in.Byte();
        matrix.Add(speed, length);
        ++added;
    }
    if (!matrix.Exists()) return 0;
    uint64_t counted = 0;
    for (uint32_t row = 0; row <= matrix.Rows(); ++row) {
        for (uint32_t column = 0; column <= matrix.Columns(); ++column) counted += matrix.Cell(row, column);
    }
    if (counted != added) std::abort();
    matrix.Reset();
    if (matrix.Cell(0, 0) != 0) std::abort();
    return 0;
}
