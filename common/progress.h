#pragma once
// How long operations report their progress: a status text and the filled fraction of a
// progress bar. The editor's status bar, kestrova-cli's progress line and the installer's window
// show what these reports say.

#include <cstdint>
#include <functional>
#include <stop_token>
#include <string>
#include <string_view>

namespace kestrova {

// Progress of a long operation: the status text and the filled fraction of the progress bar.
using ProgressCallback = std::function<void(std::u16string_view text, float fraction)>;

// Copies report after each chunk of this many bytes: often enough for a bar to move smoothly,
// seldom enough to cost nothing beside the copy itself.
inline constexpr std::uint64_t kProgressChunk = std::uint64_t{8} << 20;

// The progress of moving `total` bytes, as "<what>: (n/m MiB)" and the fraction done. It reports
// when a chunk boundary has been passed and more bytes remain, so that a move of one chunk or
// less, which is over before anyone could see it, reports nothing at all.
//
// A move that may be stopped is given the token: it then goes a chunk at a time as a reported
// one does and stops after the chunk in which the stop was requested. Whoever finishes the move
// asks stopped() once more before making its result visible, so that a stop requested after the
// last chunk still leaves everything as it was.
class ByteProgress {
public:
    ByteProgress(ProgressCallback progress, std::u16string_view what, std::uint64_t total,
                 std::stop_token stop = {});

    // `bytes` more bytes are done. False when the move is to stop here.
    bool Advance(std::uint64_t bytes);
    // The length of the next piece to move: at most up to the next chunk boundary.
    std::uint64_t NextPiece(std::uint64_t remaining) const;
    // True when the move goes a chunk at a time (it is reported or may be stopped).
    bool stepped() const { return static_cast<bool>(progress_) || stop_.stop_possible(); }
    bool stopped() const { return stop_.stop_requested(); }

private:
    ProgressCallback progress_;
    std::u16string what_;
    std::uint64_t total_;
    std::uint64_t done_ = 0;
    std::stop_token stop_;
};

}  // namespace kestrova
