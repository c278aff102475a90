#include "search_engine.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "common/platform.h"
#include "common/text.h"
#include "editor/search/asset_locator.h"
#include "editor/search/block_reader.h"
#include "editor/search/pattern_scanner.h"

namespace kestrova {

namespace {

// Large enough that a read costs little next to the scan, small enough to stay in the cache.
constexpr std::size_t kBlockSize = std::size_t{1} << 20;

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

std::uint64_t FileLength(std::FILE* file) {
#if defined(_WIN32)
    _fseeki64(file, 0, SEEK_END);
    auto length = _ftelli64(file);
#else
    fseeko(file, 0, SEEK_END);
    auto length = ftello(file);
#endif
    std::rewind(file);
    return length < 0 ? 0 : static_cast<std::uint64_t>(length);
}

// The first position in [from, candidateEnd) at which the pattern matches, or candidateEnd. Every
// candidate position has all of the pattern's bytes inside the file. A stop ends the scan at the
// next block, as if nothing more were found.
std::uint64_t FindHit(BlockReader& reader, const PatternScanner& scanner, std::size_t width,
                      std::uint64_t from, std::uint64_t candidateEnd, const std::stop_token& stop) {
    const std::size_t need = width == 0 ? 1 : width;
    std::uint64_t position = from;
    while (position < candidateEnd && !stop.stop_requested()) {
        std::size_t available = 0;
        const std::uint8_t* bytes = reader.Ensure(position, need, available);
        if (bytes == nullptr) {
            // The file shrank under the search: nothing more can be found.
            return candidateEnd;
        }
        std::uint64_t span = std::min<std::uint64_t>(candidateEnd - position, available - need + 1);
        std::size_t found = scanner.Find(bytes, static_cast<std::size_t>(span));
        if (found != PatternScanner::kNotFound) {
            return position + found;
        }
        position += span;
    }
    return candidateEnd;
}

}  // namespace

Outcome SearchAssetData(const AssetFile& doc, std::u16string_view query, StringList& results,
                        std::int32_t mode, const SearchStatus& status,
                        const std::stop_token& stop) {
    FileHandle file(platform::OpenFile(doc.WorkingCopyPath(), "rb"));
    if (!file) {
        return Outcome::Failure(kWorkingCopyUnreadable);
    }
    const std::uint64_t length = FileLength(file.get());

    // The query is used up to its first U+0000, as a zero-terminated string would be.
    query = query.substr(0, query.find(u'\0'));
    std::string bytes;
    if (!Utf16ToLatin1(query, bytes)) {
        if (status) {
            status(kQueryNotSingleByte);
        }
        return Outcome::Failure(kQueryNotSingleByte);
    }
    const SearchPattern pattern = CompileSearchPattern(bytes, mode);
    const PatternScanner scanner(pattern);
    const std::size_t width = pattern.width();
    const AssetLocator locator(doc);
    SearchProgress progress(length, status);
    BlockReader reader(file.get(), length, kBlockSize + width);

    // Positions where a whole pattern fits: [start, candidateLimit).
    const std::uint64_t candidateLimit = length >= width ? length - width + 1 : 0;
    std::uint64_t position = doc.DataBase();
    std::uint64_t unreported = position;
    while (position < length) {
        // A hit that no asset holds records nothing and shows the same progress as a miss, so
        // only positions that some asset owns are scanned.
        std::uint64_t runStart = locator.NextOwned(position);
        if (runStart >= candidateLimit) {
            break;
        }
        std::uint64_t runEnd = std::min(locator.OwnedRunEnd(runStart), candidateLimit);
        std::uint64_t hit = FindHit(reader, scanner, width, runStart, runEnd, stop);
        if (stop.stop_requested()) {
            return Cancelled();
        }
        if (hit == runEnd) {
            position = runEnd;
            continue;
        }
        progress.VisitRange(unreported, hit, results.count());
        std::uint32_t owner = *locator.Owner(hit);
        const AssetEntry& entry = doc.entries[owner];
        // The tag is the path id's low 32 bits: the whole word in the 44-byte form.
        Add(results, entry.name, static_cast<std::uint32_t>(entry.pathId), true, true);
        // The rest of the asset is skipped; progress shows its last byte.
        std::uint64_t lastByte = locator.DataEnd(owner) - 1;
        progress.VisitAt(lastByte, results.count());
        position = lastByte + 1;
        unreported = position;
    }
    progress.VisitRange(unreported, length, results.count());
    // A stop that came after the last scan still ends the search as stopped.
    if (stop.stop_requested()) {
        return Cancelled();
    }
    return Outcome::Success();
}

}  // namespace kestrova
