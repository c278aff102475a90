#include "markup_reader.h"

#include <array>

#include "text.h"

namespace kestrova {

namespace {

constexpr int kEnd = -1;

// Characters one at a time, with CR LF folded to LF, and the ability to step back over the last
// characters read. Stepping back re-delivers characters already read instead of repositioning the
// input, so pipes work too, and a line feed that came from CR LF is read again as one line feed.
class CharacterSource {
public:
    virtual ~CharacterSource() = default;

    int Read() {
        int c;
        if (pendingSize_ > 0) {
            c = pending_[--pendingSize_];
        } else {
            c = ReadFolded();
            if (c == kEnd) {
                return kEnd;
            }
        }
        Remember(c);
        return c;
    }

    // Steps back over the last `count` characters read (at most kDepth).
    void StepBack(std::size_t count) {
        for (; count > 0 && historySize_ > 0; --count) {
            pending_[pendingSize_++] = history_[--historySize_];
        }
    }

protected:
    // The next byte as 0-255, or kEnd.
    virtual int ReadByte() = 0;

private:
    static constexpr std::size_t kDepth = 4;
    static constexpr int kNothing = -2;

    int ReadFolded() {
        int c = lookahead_ != kNothing ? lookahead_ : ReadByte();
        lookahead_ = kNothing;
        if (c == '\r') {
            int next = ReadByte();
            if (next == '\n') {
                return '\n';
            }
            lookahead_ = next;
        }
        return c;
    }

    void Remember(int c) {
        if (historySize_ == kDepth) {
            for (std::size_t i = 1; i < kDepth; ++i) {
                history_[i - 1] = history_[i];
            }
            --historySize_;
        }
        history_[historySize_++] = c;
    }

    int lookahead_ = kNothing;
    std::array<int, kDepth> history_{};  // the most recent last
    std::size_t historySize_ = 0;
    std::array<int, kDepth> pending_{};  // a stack: the next to read last
    std::size_t pendingSize_ = 0;
};

class StreamSource final : public CharacterSource {
public:
    explicit StreamSource(std::FILE* stream) : stream_(stream) {}

private:
    int ReadByte() override {
        // Once the end is met it stays met, also for streams that could deliver more later.
        if (ended_ || stream_ == nullptr) {
            return kEnd;
        }
        int c = std::getc(stream_);
        if (c == EOF) {
            ended_ = true;
            return kEnd;
        }
        return c;
    }

    std::FILE* stream_;
    bool ended_ = false;
};

class BytesSource final : public CharacterSource {
public:
    explicit BytesSource(std::string_view bytes) : bytes_(bytes) {}

private:
    int ReadByte() override {
        if (position_ >= bytes_.size()) {
            return kEnd;
        }
        return static_cast<unsigned char>(bytes_[position_++]);
    }

    std::string_view bytes_;
    std::size_t position_ = 0;
};

// White space as the "C" locale classifies it: tab, line feed, vertical tab, form feed, carriage
// return and space.
bool IsWhiteSpace(int c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

void AppendLimited(std::u16string& field, int c, std::size_t capacity) {
    if (field.size() + 1 < capacity) {
        field.push_back(static_cast<char16_t>(c));
    }
}

class Parser {
public:
    Parser(CharacterSource& source, const MarkupLimits& limits) : in_(source), limits_(limits) {}

    void ParseDocument(MarkupDocument& document) {
        int c = in_.Read();
        while (c != kEnd) {
            if (c == '<') {
                int next = in_.Read();
                if (next == kEnd) {
                    return;
                }
                in_.StepBack(1);
                if (next == '!') {
                    SkipComment();
                } else {
                    document.roots.emplace_back();
                    ParseElement(document.roots.back());
                }
            }
            c = in_.Read();
        }
    }

private:
    // Reads one element, the stream standing just after its '<'. Nested elements are kept on an
    // explicit stack rather than the call stack, so deep nesting cannot exhaust it. Returns false
    // when the input ends; what was read so far stays in the tree.
    bool ParseElement(MarkupNode& element) {
        struct Frame {
            MarkupNode* node;
            bool started = false;
            bool done = false;
        };
        std::vector<Frame> open;
        open.push_back({&element});

        while (!open.empty()) {
            Frame& frame = open.back();
            MarkupNode& node = *frame.node;
            int c;
            if (!frame.started) {
                frame.started = true;
                c = in_.Read();
                // A declaration "<?name ...?>" is an element named by the word after '?'.
                if (c == '?') {
                    c = in_.Read();
                }
                while (c != kEnd && c != '>' && c != '/' && c != ' ') {
                    AppendLimited(node.name, c, limits_.nameCapacity);
                    c = in_.Read();
                }
            } else {
                // Every step ends by reading one more character, also after the element's own
                // closing '>': an element consumes the character that follows it.
                c = in_.Read();
                if (c != kEnd && frame.done) {
                    open.pop_back();
                    continue;
                }
            }
            while (IsWhiteSpace(c)) {
                c = in_.Read();
            }
            if (c == kEnd) {
                return false;
            }

            bool content = c == '>';
            if (c == '<') {
                int next = in_.Read();
                if (next == kEnd) {
                    return false;
                }
                if (next == '/') {
                    c = '/';
                } else {
                    in_.StepBack(2);
                    content = true;
                }
            }

            if (!content) {
                if (c == '/' || c == '?') {
                    // "/>", "?>" or an end tag, whatever its name: the element is complete.
                    frame.done = true;
                    do {
                        c = in_.Read();
                    } while (c != kEnd && c != '>');
                    if (c == kEnd) {
                        return false;
                    }
                } else {
                    in_.StepBack(1);
                    if (!ParseAttribute(AddAttribute(node))) {
                        return false;
                    }
                }
                continue;
            }

            do {
                c = in_.Read();
            } while (IsWhiteSpace(c));
            if (c == kEnd) {
                return false;
            }
            if (c == '<') {
                int next = in_.Read();
                if (next == kEnd) {
                    return false;
                }
                in_.StepBack(1);
                if (next == '!') {
                    SkipComment();
                } else {
                    MarkupNode& child = AddChild(node, open.size() + 1);
                    open.push_back({&child});  // `frame` and `node` are not used past this point
                }
                continue;
            }

            // A text run replaces the previous one; its leading white space was skipped above,
            // trailing white space stays.
            node.text.clear();
            while (c != '<') {
                if (c == '\n') {
                    if (node.text.size() + 3 <= kMarkupTextCapacity) {
                        node.text += u"\r\n";
                    }
                } else {
                    AppendLimited(node.text, c, kMarkupTextCapacity);
                }
                c = in_.Read();
                if (c == kEnd) {
                    return false;
                }
            }
            in_.StepBack(1);
        }
        return true;
    }

    // name="value": the name runs to '=', the character after it is taken for the opening quote
    // whatever it is, and the value runs to the next '"'.
    bool ParseAttribute(MarkupAttribute& attribute) {
        int c = in_.Read();
        for (; c != kEnd && c != '='; c = in_.Read()) {
            AppendLimited(attribute.name, c, limits_.nameCapacity);
        }
        if (c == kEnd || in_.Read() == kEnd) {
            return false;
        }
        for (c = in_.Read(); c != kEnd && c != '"'; c = in_.Read()) {
            AppendLimited(attribute.value, c, kMarkupValueCapacity);
        }
        return c != kEnd;
    }

    // The stream stands at the '!' after '<'. Anything other than "!--" is consumed up to the first
    // character that differs and the rest is read as ordinary characters (this is how <!DOCTYPE>
    // passes at top level). A comment runs to the first "-->" that the scan meets.
    void SkipComment() {
        for (int expected : {'!', '-', '-'}) {
            int c = in_.Read();
            if (c == kEnd || c != expected) {
                return;
            }
        }
        for (;;) {
            int c = in_.Read();
            if (c == kEnd) {
                return;
            }
            if (c != '-') {
                continue;
            }
            c = in_.Read();
            if (c == kEnd) {
                return;
            }
            if (c != '-') {
                continue;
            }
            c = in_.Read();
            if (c == kEnd) {
                return;
            }
            if (c == '>') {
                break;
            }
        }
        int c;
        do {
            c = in_.Read();
        } while (IsWhiteSpace(c));
        if (c != kEnd) {
            in_.StepBack(1);
        }
    }

    MarkupNode& AddChild(MarkupNode& parent, std::size_t depth) {
        if (depth > limits_.maxDepth || &parent == &discarded_) {
            discarded_ = MarkupNode();
            return discarded_;
        }
        parent.children.emplace_back();
        return parent.children.back();
    }

    MarkupAttribute& AddAttribute(MarkupNode& node) {
        if (&node == &discarded_) {
            discardedAttribute_ = MarkupAttribute();
            return discardedAttribute_;
        }
        node.attributes.emplace_back();
        return node.attributes.back();
    }

    CharacterSource& in_;
    const MarkupLimits& limits_;
    // Elements nested too deeply are read into this scratch node and dropped.
    MarkupNode discarded_;
    MarkupAttribute discardedAttribute_;
};

}  // namespace

bool ParseDocument(std::FILE* stream, MarkupDocument& document, const MarkupLimits& limits) {
    StreamSource source(stream);
    Parser(source, limits).ParseDocument(document);
    return true;
}

bool ParseDocument(std::string_view bytes, MarkupDocument& document, const MarkupLimits& limits) {
    BytesSource source(bytes);
    Parser(source, limits).ParseDocument(document);
    return true;
}

const MarkupNode* FindRoot(const MarkupDocument& document, std::u16string_view name) {
    for (const auto& root : document.roots) {
        if (CompareIgnoringAsciiCase(root.name, name) == 0) {
            return &root;
        }
    }
    return nullptr;
}

const MarkupNode* FindChild(const MarkupNode& node, std::u16string_view name, std::uint32_t index) {
    for (const auto& child : node.children) {
        if (CompareIgnoringAsciiCase(child.name, name) == 0) {
            if (index == 0) {
                return &child;
            }
            --index;
        }
    }
    return nullptr;
}

const MarkupAttribute* FindAttribute(const MarkupNode& node, std::u16string_view name) {
    for (const auto& attribute : node.attributes) {
        if (CompareIgnoringAsciiCase(attribute.name, name) == 0) {
            return &attribute;
        }
    }
    return nullptr;
}

bool FreeNode(MarkupNode& node) {
    std::vector<MarkupNode>().swap(node.children);
    std::vector<MarkupAttribute>().swap(node.attributes);
    return true;
}

void FreeDocument(MarkupDocument& document) {
    std::vector<MarkupNode>().swap(document.roots);
}

}  // namespace kestrova
