#include "document/bundle/block_compressor.h"

#include <algorithm>

// Debian's MinGW-w64 compiler (its win32 thread model) has no std::thread: the Windows installer
// program compresses its LZ4 blocks one after another on the calling thread.
#if defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)
#define KESTROVA_BLOCKS_ON_ONE_THREAD 1
#else
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

#include "common/text.h"
#include "document/range_writer.h"

namespace kestrova::bundle::detail {

namespace {

void Report(const ProgressCallback& progress, std::size_t done, std::size_t count, int& shown) {
    const int percent = count == 0 ? 100 : static_cast<int>(done * 100 / count);
    if (progress && percent != shown) {
        shown = percent;
        progress(u"Compressing: (" + DecimalText(static_cast<std::int64_t>(done)) + u"/" +
                     DecimalText(static_cast<std::int64_t>(count)) + u")",
                 count == 0 ? 1.0f : static_cast<float>(done) / static_cast<float>(count));
    }
}

// A block's compressed bytes: the original's where it is reused, else `input` compressed.
Outcome ProduceBlock(const CompressJob& job, const PlannedBlock& block,
                     std::vector<std::uint8_t>& input, std::vector<std::uint8_t>& out) {
    if (block.reuse) {
        if (!ReadRange(*job.original, block.reuse->offset, block.reuse->compressedSize, out)) {
            return Outcome::Failure(u"Cannot read the original bundle.");
        }
        return Outcome::Success();
    }
    if (!ReadRange(*job.input, block.streamOffset, block.size, input)) {
        return Outcome::Failure(u"Cannot read the data to compress.");
    }
    return EncodeBlock(job.compression, input, out);
}

#ifdef KESTROVA_BLOCKS_ON_ONE_THREAD

Outcome CompressLz4InOrder(const CompressJob& job, RangeWriter& output,
                           std::vector<std::uint64_t>& sizes, const ProgressCallback& progress,
                           const std::stop_token& stop) {
    std::uint64_t position = 0;
    int shown = -1;
    std::vector<std::uint8_t> input;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < job.blocks.size(); ++i) {
        Report(progress, i, job.blocks.size(), shown);
        if (stop.stop_requested()) {
            return Cancelled();
        }
        if (Outcome o = ProduceBlock(job, job.blocks[i], input, bytes); !o) {
            return o;
        }
        if (!output.Write(position, bytes)) {
            return Outcome::Failure(u"Cannot write the compressed data: " + output.error());
        }
        sizes[i] = bytes.size();
        position += bytes.size();
    }
    return Outcome::Success();
}

#else

// One compressed block waiting to be written.
struct Slot {
    std::vector<std::uint8_t> bytes;
    bool ready = false;
    Outcome outcome;
};

// LZ4 and LZ4HC: the threads compress blocks into a ring of slots that runs at most a few
// blocks per thread ahead of the writer, which takes them in order.
class ParallelCompressor {
public:
    ParallelCompressor(const CompressJob& job, RangeWriter& output,
                       std::vector<std::uint64_t>& sizes)
        : job_(job), output_(output), sizes_(sizes), slots_(job.threads * 4) {}

    Outcome Run(const ProgressCallback& progress, const std::stop_token& stop) {
        std::vector<std::thread> threads;
        for (unsigned t = 0; t < job_.threads; ++t) {
            threads.emplace_back([this] { Work(); });
        }
        Outcome outcome = WriteInOrder(progress, stop);
        {
            std::lock_guard lock(mutex_);
            abort_ = true;
        }
        changed_.notify_all();
        for (std::thread& t : threads) {
            t.join();
        }
        return outcome;
    }

private:
    void Work() {
        std::vector<std::uint8_t> input;
        std::vector<std::uint8_t> compressed;
        for (;;) {
            std::size_t index = 0;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] {
                    return abort_ || next_ >= job_.blocks.size() ||
                           next_ < written_ + slots_.size();
                });
                if (abort_ || next_ >= job_.blocks.size()) {
                    return;
                }
                index = next_++;
            }
            Outcome outcome = ProduceBlock(job_, job_.blocks[index], input, compressed);
            {
                std::lock_guard lock(mutex_);
                Slot& slot = slots_[index % slots_.size()];
                slot.bytes.swap(compressed);
                slot.outcome = std::move(outcome);
                slot.ready = true;
            }
            changed_.notify_all();
        }
    }

    Outcome WriteInOrder(const ProgressCallback& progress, const std::stop_token& stop) {
        std::uint64_t position = 0;
        int shown = -1;
        std::vector<std::uint8_t> bytes;
        for (std::size_t i = 0; i < job_.blocks.size(); ++i) {
            Report(progress, i, job_.blocks.size(), shown);
            Outcome outcome;
            {
                std::unique_lock lock(mutex_);
                Slot& slot = slots_[i % slots_.size()];
                changed_.wait(lock, [&] { return slot.ready || stop.stop_requested(); });
                if (!slot.ready) {
                    return Cancelled();
                }
                bytes.swap(slot.bytes);
                outcome = std::move(slot.outcome);
                slot.ready = false;
                ++written_;
            }
            changed_.notify_all();
            if (!outcome) {
                return outcome;
            }
            if (stop.stop_requested()) {
                return Cancelled();
            }
            if (!output_.Write(position, bytes)) {
                return Outcome::Failure(u"Cannot write the compressed data: " + output_.error());
            }
            sizes_[i] = bytes.size();
            position += bytes.size();
        }
        return Outcome::Success();
    }

    const CompressJob& job_;
    RangeWriter& output_;
    std::vector<std::uint64_t>& sizes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Slot> slots_;
    std::size_t next_ = 0;
    std::size_t written_ = 0;
    bool abort_ = false;
};

#endif

// LZMA and stored blocks, one after another on this thread.
Outcome CompressInOrder(const CompressJob& job, RangeWriter& output,
                        std::vector<std::uint64_t>& sizes, const ProgressCallback& progress,
                        const std::stop_token& stop) {
    std::uint64_t position = 0;
    int shown = -1;
    for (std::size_t i = 0; i < job.blocks.size(); ++i) {
        Report(progress, i, job.blocks.size(), shown);
        const PlannedBlock& block = job.blocks[i];
        if (stop.stop_requested()) {
            return Cancelled();
        }
        if (job.compression == Compression::Stored) {
            if (!job.input->CopyTo(output, block.streamOffset, position, block.size)) {
                return Outcome::Failure(u"Cannot write the bundle's data: " + output.error());
            }
            sizes[i] = block.size;
            position += block.size;
            continue;
        }
        std::uint64_t taken = 0;
        std::uint64_t pushed = 0;
        std::uint64_t written = 0;
        Outcome outcome = EncodeLzmaStream(
            block.size,
            [&](std::span<std::uint8_t> room) {
                const bool ok = job.input->Read(block.streamOffset + taken, room);
                taken += room.size();
                return ok;
            },
            [&](std::span<const std::uint8_t> bytes) {
                const bool ok = output.Write(position + pushed, bytes);
                pushed += bytes.size();
                return ok;
            },
            written, stop);
        if (!outcome) {
            return outcome;
        }
        sizes[i] = written;
        position += written;
    }
    return Outcome::Success();
}

}  // namespace

unsigned CompressionThreads() {
#ifdef KESTROVA_BLOCKS_ON_ONE_THREAD
    return 1;
#else
    return std::max(1u, std::thread::hardware_concurrency());
#endif
}

Outcome CompressBlocks(const CompressJob& job, RangeWriter& output,
                       std::vector<std::uint64_t>& compressedSizes,
                       const ProgressCallback& progress, const std::stop_token& stop) {
    compressedSizes.assign(job.blocks.size(), 0);
    Outcome outcome;
    if (job.compression == Compression::Lz4 || job.compression == Compression::Lz4hc) {
#ifdef KESTROVA_BLOCKS_ON_ONE_THREAD
        outcome = CompressLz4InOrder(job, output, compressedSizes, progress, stop);
#else
        CompressJob parallel = job;
        parallel.threads = std::max(1u, job.threads);
        outcome = ParallelCompressor(parallel, output, compressedSizes).Run(progress, stop);
#endif
    } else {
        outcome = CompressInOrder(job, output, compressedSizes, progress, stop);
    }
    if (outcome) {
        std::size_t count = job.blocks.size();
        int shown = -1;
        Report(progress, count, count, shown);
    }
    return outcome;
}

}  // namespace kestrova::bundle::detail
