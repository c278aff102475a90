#include "tools/kestrova-cli/terminal_progress.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

#include "common/text.h"

namespace kestrova::cli {

namespace {

using namespace std::chrono_literals;

constexpr auto kQuietStart = 1s;
constexpr auto kRedrawPeriod = 100ms;
// The drawing thread looks more often than it may draw, so that it never waits a whole period
// too long.
constexpr auto kLookPeriod = 50ms;

// The columns a character takes on a terminal: two for the wide characters of East Asian
// scripts, none for combining marks, one otherwise.
std::size_t Columns(char32_t c) {
    if ((c >= 0x300 && c < 0x370) || (c >= 0x200B && c <= 0x200F) || (c >= 0xFE00 && c <= 0xFE0F)) {
        return 0;
    }
    const bool wide = (c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) ||
                      (c >= 0xAC00 && c <= 0xD7A3) || (c >= 0xF900 && c <= 0xFAFF) ||
                      (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFF60) ||
                      (c >= 0xFFE0 && c <= 0xFFE6) || (c >= 0x1F300 && c <= 0x1F64F) ||
                      (c >= 0x1F900 && c <= 0x1F9FF) || (c >= 0x20000 && c <= 0x3FFFD);
    return wide ? 2 : 1;
}

// The text on one line of at most `width` columns: control characters become spaces, and the
// text is cut before the first character that would not fit.
std::u16string FitToColumns(std::u16string_view text, std::size_t width, std::size_t& columns) {
    std::u16string out;
    columns = 0;
    for (std::size_t i = 0; i < text.size();) {
        char32_t c = text[i];
        std::size_t units = 1;
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            units = 2;
        }
        const bool control = c < 0x20 || c == 0x7F;
        const std::size_t n = control ? 1 : Columns(c);
        if (columns + n > width) {
            break;
        }
        if (control) {
            out += u' ';
        } else {
            out.append(text.substr(i, units));
        }
        columns += n;
        i += units;
    }
    return out;
}

std::chrono::milliseconds SlowReportsForTests() {
    const char* value = std::getenv("KESTROVA_SLOW_PROGRESS_MS");
    return std::chrono::milliseconds(value == nullptr ? 0 : std::strtol(value, nullptr, 10));
}

}  // namespace

TerminalProgress::TerminalProgress() : TerminalProgress(STDERR_FILENO, Clock::now()) {
    if (terminal_) {
        drawer_ = std::thread([this] { Run(); });
    }
}

TerminalProgress::TerminalProgress(int fd, Clock::time_point start)
    : fd_(fd), terminal_(::isatty(fd) == 1), start_(start) {}

TerminalProgress::~TerminalProgress() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    if (drawer_.joinable()) {
        drawer_.join();
    }
    std::lock_guard lock(mutex_);
    Erase();
}

void TerminalProgress::Update(std::u16string_view text, float fraction) {
    if (!terminal_) {
        return;
    }
    std::lock_guard lock(mutex_);
    text_.assign(text);
    fraction_ = fraction;
    pending_ = true;
}

ProgressCallback TerminalProgress::Callback() {
    static const std::chrono::milliseconds slow = SlowReportsForTests();
    return [this](std::u16string_view text, float fraction) {
        Update(text, fraction);
        if (slow.count() > 0) {
            std::this_thread::sleep_for(slow);
        }
    };
}

void TerminalProgress::Message(std::string_view line) {
    std::lock_guard lock(mutex_);
    Erase();
    Write(std::string(line) + "\n");
    pending_ = pending_ || !text_.empty();
}

void TerminalProgress::Draw(Clock::time_point now) {
    std::lock_guard lock(mutex_);
    if (!terminal_ || !pending_ || now - start_ < kQuietStart ||
        (drawn_ != Clock::time_point{} && now - drawn_ < kRedrawPeriod)) {
        return;
    }
    winsize size{};
    const std::size_t width =
        ::ioctl(fd_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col : 80;
    std::u16string line;
    if (fraction_ >= 0.0f) {
        const auto percent = static_cast<int>(std::min(fraction_, 1.0f) * 100.0f);
        line = u"[" +
               std::u16string(percent < 10    ? 2
                              : percent < 100 ? 1
                                              : 0,
                              u' ') +
               DecimalText(percent) + u"%] ";
    }
    line += text_;
    // The last column stays free: a line that fills it makes some terminals wrap.
    std::size_t columns = 0;
    line = FitToColumns(line, width - 1, columns);
    std::string bytes = "\r" + Utf16ToUtf8(line);
    if (columns < shownColumns_) {
        bytes.append(shownColumns_ - columns, ' ');
    }
    Write(bytes);
    shownColumns_ = std::max(columns, shownColumns_);
    drawn_ = now;
    pending_ = false;
}

void TerminalProgress::Write(std::string_view bytes) const {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
}

void TerminalProgress::Erase() {
    if (shownColumns_ > 0) {
        Write("\r" + std::string(shownColumns_, ' ') + "\r");
        shownColumns_ = 0;
    }
}

void TerminalProgress::Run() {
    std::unique_lock lock(mutex_);
    while (!wake_.wait_for(lock, kLookPeriod, [this] { return stopping_; })) {
        lock.unlock();
        Draw(Clock::now());
        lock.lock();
    }
}

}  // namespace kestrova::cli
