#pragma once
// kestrova-cli's progress line. While a long operation runs and standard error is a terminal,
// one line there is rewritten in place with the operation's latest report; when standard error
// is not a terminal, nothing is written. Nothing shows during an operation's first second, so
// that short commands print exactly what they printed before; then the line is redrawn at most
// ten times a second, cut to the terminal's width, and erased when the operation ends.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

#include "common/progress.h"

namespace kestrova::cli {

class TerminalProgress {
public:
    using Clock = std::chrono::steady_clock;

    // For one operation, from now until this goes. A thread of its own draws the line, so that
    // it shows also while one long call (a plug-in's conversion) reports nothing.
    TerminalProgress();
    // Draws on `fd` (when it is a terminal) only when Draw is called; for tests.
    TerminalProgress(int fd, Clock::time_point start);
    ~TerminalProgress();
    TerminalProgress(const TerminalProgress&) = delete;
    TerminalProgress& operator=(const TerminalProgress&) = delete;

    // The latest report; a fraction below 0 says that none is known.
    void Update(std::u16string_view text, float fraction = -1.0f);
    // Update as the core's progress callback. With KESTROVA_SLOW_PROGRESS_MS=N in the
    // environment each report also waits N milliseconds, so that tests can make any operation
    // long.
    ProgressCallback Callback();
    // A line of its own on standard error (a warning), written above the progress line.
    void Message(std::string_view line);
    // Draws the latest report, when the first second is over, the report was not drawn yet and
    // the last drawing is a tenth of a second old.
    void Draw(Clock::time_point now);

private:
    void Write(std::string_view bytes) const;
    void Erase();
    void Run();

    const int fd_;
    const bool terminal_;
    const Clock::time_point start_;
    std::mutex mutex_;
    std::u16string text_;
    float fraction_ = -1.0f;
    bool pending_ = false;  // a report that is not drawn yet
    Clock::time_point drawn_{};
    std::size_t shownColumns_ = 0;  // of the line on the screen now; 0 when none is shown
    std::condition_variable wake_;
    bool stopping_ = false;
    std::thread drawer_;
};

}  // namespace kestrova::cli
