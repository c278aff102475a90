#pragma once
// A copy of the body the host handed over and what a parser read from it. The parsed views point
// into the copy, which is moved, never reallocated, while it is held.

#include <string>
#include <utility>

#include "plugins/support/body_bytes.h"

namespace kestrova::plugin {

template <class Body>
class HeldBody {
public:
    using Parser = bool (*)(ByteSpan, Body&, std::string&);
    explicit HeldBody(Parser parse) : parse_(parse) {}

    // Copies `bytes` and reads them; when they do not read, `error` says why and the body is
    // empty.
    void Load(ByteSpan bytes) {
        // Copied first: when the copy fails, what was held stays.
        Bytes copy(bytes.begin(), bytes.end());
        data_ = std::move(copy);
        body_ = {};
        error_.clear();
        parse_(data_, body_, error_);
    }

    bool damaged() const { return !error_.empty(); }
    const std::string& error() const { return error_; }
    const Body& body() const { return body_; }
    const Bytes& data() const { return data_; }

private:
    Parser parse_;
    Bytes data_;
    Body body_;
    // Until a body is handed over there is nothing to convert or give back.
    std::string error_ = "No asset has been handed over.";
};

}  // namespace kestrova::plugin
