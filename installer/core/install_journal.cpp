#include "installer/core/install_journal.h"

#include <array>

#include "sdk/byte_reader.h"
#include "common/mapped_file.h"
#include "common/platform.h"
#include "common/text.h"
#include "document/range_writer.h"

namespace kestrova::installer {

namespace {

constexpr std::array<std::uint8_t, 4> kMagic = {'K', 'S', 'I', 'J'};
constexpr std::uint32_t kVersion = 1;
constexpr std::uint32_t kNewBackupFlag = 1;
// A file's record: its working folder, its flags and the length of its path.
constexpr std::uint64_t kMinFileRecord = 12;
constexpr char16_t kJournalName[] = u".kestrova-install.journal";

Outcome Damaged(const std::u16string& what) {
    return Outcome::Failure(u"The record of an interrupted installation is damaged: " + what);
}

// A stored path made of plain names, with this platform's separators; empty when it is absolute,
// names no file or steps out of its folder. (A zero would end the name the system is given.)
std::u16string InsidePath(std::u16string_view stored) {
    std::u16string path;
    std::size_t start = 0;
    for (;;) {
        std::size_t end = start;
        while (end < stored.size() && stored[end] != u'/' && stored[end] != u'\\') {
            ++end;
        }
        const std::u16string_view name = stored.substr(start, end - start);
        if (!IsPlainFileName(name) || name.find(u'\0') != std::u16string_view::npos) {
            return {};
        }
        path.append(name);
        if (end == stored.size()) {
            return path;
        }
        path += platform::kSeparator;
        start = end + 1;
    }
}

}  // namespace

std::vector<std::uint8_t> EncodeJournal(const InstallJournal& journal) {
    std::vector<std::uint8_t> out(kMagic.begin(), kMagic.end());
    PutLittleEndian32(out, kVersion);
    PutLittleEndian32(out, static_cast<std::uint32_t>(journal.phase));
    PutLittleEndian32(out, static_cast<std::uint32_t>(journal.files.size()));
    for (const JournalFile& file : journal.files) {
        PutLittleEndian32(out, file.workFolder);
        PutLittleEndian32(out, file.newBackup ? kNewBackupFlag : 0);
        PutLittleEndian32(out, static_cast<std::uint32_t>(file.path.size()));
        for (char16_t unit : file.path) {
            out.push_back(static_cast<std::uint8_t>(unit));
            out.push_back(static_cast<std::uint8_t>(unit >> 8));
        }
    }
    return out;
}

Outcome DecodeJournal(std::span<const std::uint8_t> bytes, InstallJournal& journal) {
    ByteReader reader(bytes);
    std::array<std::uint8_t, kMagic.size()> magic{};
    std::uint32_t version = 0;
    std::uint32_t phase = 0;
    std::uint32_t count = 0;
    if (!reader.ReadBytes(magic) || magic != kMagic || !reader.ReadLittleEndian32(version)) {
        return Damaged(u"it does not begin as one.");
    }
    if (version != kVersion) {
        return Damaged(u"its version " + DecimalText(version) + u" is unknown.");
    }
    if (!reader.ReadLittleEndian32(phase) ||
        phase > static_cast<std::uint32_t>(InstallPhase::kRollingBack)) {
        return Damaged(u"its phase is unknown.");
    }
    if (!reader.ReadLittleEndian32(count) || count > reader.remaining() / kMinFileRecord) {
        return Damaged(u"it cannot hold the " + DecimalText(count) + u" files it names.");
    }
    InstallJournal read;
    read.phase = static_cast<InstallPhase>(phase);
    read.files.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        JournalFile file;
        std::uint32_t flags = 0;
        std::uint32_t length = 0;
        reader.ReadLittleEndian32(file.workFolder);
        reader.ReadLittleEndian32(flags);
        reader.ReadLittleEndian32(length);
        const std::span<const std::uint8_t> units = reader.View(2 * std::uint64_t{length});
        if (reader.failed() || (flags & ~kNewBackupFlag) != 0) {
            return Damaged(u"file " + DecimalText(i) + u" is cut short or unknown.");
        }
        reader.Skip(units.size());
        std::u16string stored(length, u'\0');
        for (std::size_t k = 0; k < length; ++k) {
            stored[k] = static_cast<char16_t>(units[2 * k] | (units[2 * k + 1] << 8));
        }
        file.path = InsidePath(stored);
        if (file.path.empty()) {
            return Damaged(u"the path of file " + DecimalText(i) + u" leads out of its folder.");
        }
        file.newBackup = (flags & kNewBackupFlag) != 0;
        read.files.push_back(std::move(file));
    }
    if (reader.remaining() != 0) {
        return Damaged(u"it goes on after its last file.");
    }
    journal = std::move(read);
    return Outcome::Success();
}

std::u16string JournalPath(const std::u16string& root) {
    return platform::JoinPath(root, kJournalName);
}

Outcome WriteJournal(const std::u16string& root, const InstallJournal& journal) {
    const std::vector<std::uint8_t> bytes = EncodeJournal(journal);
    const std::u16string path = JournalPath(root);
    RangeWriter writer;
    if (!writer.CreateBeside(path) || !writer.Write(0, bytes) || !writer.Flush() ||
        !writer.Commit(bytes.size())) {
        return Outcome::Failure(u"Cannot write the installation's record " + path + u": " +
                                writer.error() + u".");
    }
    return Outcome::Success();
}

Outcome ReadJournal(const std::u16string& root, InstallJournal& journal, bool& found) {
    const std::u16string path = JournalPath(root);
    found = platform::FileExists(path);
    if (!found) {
        return Outcome::Success();
    }
    MappedFile file;
    if (!file.Open(path)) {
        return Outcome::Failure(u"Cannot read the record of an interrupted installation " + path +
                                u".");
    }
    if (Outcome o = DecodeJournal(file.bytes(), journal); !o) {
        return Outcome::Failure(o.message + u" (" + path + u")");
    }
    return Outcome::Success();
}

}  // namespace kestrova::installer
