#include "document/class_table.h"

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

#include "common/text.h"

namespace kestrova {

namespace {

// The data file, as one text: written into the build folder by document/CMakeLists.txt.
constexpr std::string_view kClassIds =
#include "document/class_ids.inc"
    ;

struct ClassRow {
    std::int32_t id = 0;
    std::string_view name;
    bool named = false;
};

// The rows of the table in id order, read from the text once.
const std::vector<ClassRow>& Rows() {
    static const std::vector<ClassRow> rows = [] {
        std::vector<ClassRow> out;
        std::string_view rest = kClassIds;
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find('\n'), rest.size());
            std::string_view line = rest.substr(0, end);
            rest.remove_prefix(std::min(end + 1, rest.size()));
            if (line.empty() || line.front() == '#') {
                continue;
            }
            ClassRow row;
            const auto [afterId, error] =
                std::from_chars(line.data(), line.data() + line.size(), row.id);
            if (error != std::errc{}) {
                continue;
            }
            line.remove_prefix(static_cast<std::size_t>(afterId - line.data()));
            line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
            const std::size_t nameEnd = std::min(line.find(' '), line.size());
            row.name = line.substr(0, nameEnd);
            row.named = line.substr(nameEnd).find("named") != std::string_view::npos;
            out.push_back(row);
        }
        std::sort(out.begin(), out.end(),
                  [](const ClassRow& a, const ClassRow& b) { return a.id < b.id; });
        return out;
    }();
    return rows;
}

const ClassRow* Find(std::int32_t classId) {
    const std::vector<ClassRow>& rows = Rows();
    auto at = std::lower_bound(rows.begin(), rows.end(), classId,
                               [](const ClassRow& row, std::int32_t id) { return row.id < id; });
    return at != rows.end() && at->id == classId ? &*at : nullptr;
}

}  // namespace

std::string_view KnownClassName(std::int32_t classId) {
    const ClassRow* row = Find(classId);
    return row != nullptr ? row->name : std::string_view();
}

std::optional<std::int32_t> KnownClassId(std::u16string_view name) {
    for (const ClassRow& row : Rows()) {
        if (CompareIgnoringAsciiCase(Ascii(row.name), name) == 0) {
            return row.id;
        }
    }
    return std::nullopt;
}

bool ClassStartsWithName(std::int32_t classId) {
    const ClassRow* row = Find(classId);
    return row != nullptr && row->named;
}

}  // namespace kestrova
