#pragma once
// The result of an operation that can fail for a reason the user should read.

#include <string>
#include <utility>

namespace kestrova {

struct Outcome {
    bool ok = true;
    std::u16string message;  // what went wrong, in words for the user; empty on success

    static Outcome Success() { return {}; }
    static Outcome Failure(std::u16string why) { return {false, std::move(why)}; }
    explicit operator bool() const { return ok; }
};

// The outcome of an operation stopped at the user's request before it changed anything.
inline Outcome Cancelled() {
    return Outcome::Failure(u"Cancelled.");
}

}  // namespace kestrova
