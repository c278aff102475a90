#include "document/bundle/data_stream.h"

#include <algorithm>

#include "common/platform.h"
#include "common/text.h"
#include "document/bundle/codecs_internal.h"
#include "document/range_writer.h"

namespace kestrova::bundle {

using detail::Bytes;

namespace {

// Decoded bytes are gathered into pieces of this size before they are written; a block larger
// than a piece gets a buffer of its own size.
constexpr std::size_t kPiece = std::size_t{4} << 20;

class FileOutput : public StreamOutput {
public:
    // `length`: the stream's whole length, so that a small stream gets a small buffer.
    FileOutput(RangeWriter& writer, std::uint64_t length)
        : writer_(writer),
          buffer_(static_cast<std::size_t>(std::min<std::uint64_t>(kPiece, length + 1))) {}

    std::span<std::uint8_t> Reserve(std::size_t count) override {
        if (buffer_.size() - used_ < count) {
            if (!Flush()) {
                // Room is still handed out; the failure is reported by the next Commit.
                failed_ = true;
                used_ = 0;
            }
            if (buffer_.size() < count) {
                buffer_.resize(count);
            }
        }
        return std::span<std::uint8_t>(buffer_).subspan(used_, count);
    }

    bool Commit(std::size_t count) override {
        used_ += count;
        return !failed_;
    }

    bool Flush() {
        if (used_ == 0) {
            return true;
        }
        if (!writer_.Write(position_, std::span(buffer_).first(used_))) {
            return false;
        }
        position_ += used_;
        used_ = 0;
        return true;
    }

    std::uint64_t written() const { return position_ + used_; }

    std::u16string failure() const override {
        return u"Cannot write the working copy: " + writer_.error();
    }

private:
    RangeWriter& writer_;
    std::vector<std::uint8_t> buffer_;
    std::size_t used_ = 0;
    std::uint64_t position_ = 0;
    bool failed_ = false;
};

}  // namespace

std::u16string FolderOf(const std::u16string& path) {
    const std::size_t start = FileNameStart(path);
    if (start == 0) {
        return u".";
    }
    return path.substr(0, start == 1 ? 1 : start - 1);
}

Outcome ExtractDataStream(const ByteSource& source, const BundleArchive& archive,
                          const std::u16string& target, const ProgressCallback& progress,
                          const std::stop_token& stop) {
    const std::optional<unsigned long long> space = platform::FreeSpace(FolderOf(target));
    if (!space) {
        return Outcome::Failure(u"Cannot find the free space of the working folder " +
                                FolderOf(target) + u".");
    }
    if (archive.streamLength > *space) {
        return Outcome::Failure(u"The bundle's data takes " + Bytes(archive.streamLength) +
                                u" decompressed, but the working folder has only " + Bytes(*space) +
                                u" free.");
    }
    RangeWriter writer;
    // The working folder is the program's own: a fixed name beside the target serves.
    if (!writer.Create(target + u".new")) {
        return Outcome::Failure(u"Cannot create the working copy beside " + target + u": " +
                                writer.error());
    }
    FileOutput output(writer, archive.streamLength);
    DecodeBuffers buffers;
    const std::size_t count = archive.blocks.size();
    const std::u16string total = DecimalText(static_cast<std::int64_t>(count));
    int shown = -1;
    for (std::size_t i = 0; i < count; ++i) {
        if (stop.stop_requested()) {
            return Cancelled();
        }
        // Progress in whole percent, so that a bundle of thousands of blocks is not thousands
        // of status texts.
        const int percent = static_cast<int>(i * 100 / count);
        if (progress && percent != shown) {
            shown = percent;
            progress(u"Decompressing: (" + DecimalText(static_cast<std::int64_t>(i)) + u"/" +
                         total + u")",
                     static_cast<float>(i) / static_cast<float>(count));
        }
        if (Outcome o = DecodeBlock(source, archive.Encoded(i), output, buffers, stop); !o) {
            return o;
        }
    }
    if (!output.Flush() || output.written() != archive.streamLength) {
        return Outcome::Failure(output.failure());
    }
    // The working copy is the program's own file: replaced without the flush that renaming over
    // an existing file costs on some file systems.
    if (!writer.FinishAsPrivate(archive.streamLength, target)) {
        return Outcome::Failure(u"Cannot make the working copy " + target + u": " + writer.error());
    }
    return Outcome::Success();
}

}  // namespace kestrova::bundle
