#include "sdk/type_tree_json.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include <nlohmann/json.hpp>

#include "sdk/field_values.h"

namespace kestrova {

namespace {

using Json = nlohmann::json;

constexpr std::uint32_t kScalarsPerLine = 16;
constexpr char kHexDigits[] = "0123456789abcdef";

std::span<const std::uint8_t> AsBytes(std::string_view text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

// A field's name as a JSON key: its bytes when they are UTF-8, else each byte as the character of
// the same value.
std::string KeyText(const std::string& name) {
    if (IsUtf8(AsBytes(name))) {
        return name;
    }
    std::string key;
    for (unsigned char c : name) {
        if (c < 0x80) {
            key += static_cast<char>(c);
        } else {
            key += static_cast<char>(0xC0 | (c >> 6));
            key += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return key;
}

void AppendQuoted(std::string& out, std::span<const std::uint8_t> utf8) {
    static constexpr char kDigits[] = "0123456789abcdef";
    out += '"';
    const char* text = reinterpret_cast<const char*>(utf8.data());
    std::size_t run = 0;  // characters since the last escape, appended in one go
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const std::uint8_t c = utf8[i];
        if (c >= 0x20 && c != '"' && c != '\\') {
            continue;
        }
        out.append(text + run, i - run);
        run = i + 1;
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                out += "\\u00";
                out += kDigits[c >> 4];
                out += kDigits[c & 15];
        }
    }
    out.append(text + run, utf8.size() - run);
    out += '"';
}

// The JSON text being written: characters go straight into the string that is returned, sized
// up front for the object so that it seldom grows (and doubles when it must), so that the many
// short pieces of a large array cost no call each and the text is never copied whole.
class JsonText {
public:
    explicit JsonText(std::size_t expected) : text_(expected, '\0') {}

    // Room for `count` more characters at the end.
    char* Room(std::size_t count) {
        if (text_.size() - used_ < count) {
            text_.resize(std::max(2 * text_.size(), used_ + count));
        }
        return text_.data() + used_;
    }
    void Advance(std::size_t count) { used_ += count; }
    void Put(char c) {
        *Room(1) = c;
        ++used_;
    }
    template <std::size_t N>
    void Put(const char (&literal)[N]) {
        std::memcpy(Room(N - 1), literal, N - 1);
        used_ += N - 1;
    }
    void Put(std::string_view text) {
        std::memcpy(Room(text.size()), text.data(), text.size());
        used_ += text.size();
    }
    std::string Take() {
        text_.resize(used_);
        return std::move(text_);
    }

private:
    std::string text_;
    std::size_t used_ = 0;
};

// Writes JSON as the reader visits the object's values. Structures of numbers only take one line
// ({"x": 1, "y": 2, "z": 3}), arrays of numbers a line per few; everything else a line each.
class JsonWriter {
public:
    JsonWriter(const FieldLayout& layout, JsonText& out)
        : layout_(layout), out_(out), keys_(layout.nodeCount()), flat_(layout.nodeCount(), -1) {}

    void BeginStruct(const FieldNode& node) {
        const bool flat = Flat(node);
        open_.push_back({node.memberCount == 0, flat, false});
        if (node.memberCount == 0) {
            out_.Put("{}");
        } else {
            out_.Put('{');
        }
    }
    void Member(const FieldNode& member, std::uint32_t position) {
        const Open& open = open_.back();
        if (position > 0) {
            out_.Put(',');
        }
        if (open.oneLine) {
            if (position > 0) {
                out_.Put(' ');
            }
        } else {
            NewLine(open_.size());
        }
        Key& key = keys_[layout_.IndexOf(member)];
        if (key.length == 0) {
            key.offset = static_cast<std::uint32_t>(keyText_.size());
            AppendQuoted(keyText_, AsBytes(KeyText(member.name)));
            keyText_ += ": ";
            key.length = static_cast<std::uint32_t>(keyText_.size() - key.offset);
        }
        out_.Put(std::string_view(keyText_).substr(key.offset, key.length));
    }
    void EndStruct(const FieldNode&) { Close('}'); }

    void BeginArray(const FieldNode& node, std::uint32_t count) {
        open_.push_back({count == 0, false, IsScalar(layout_.node(node.element).kind)});
        if (count == 0) {
            out_.Put("[]");
        } else {
            out_.Put('[');
        }
    }
    void Element(std::uint32_t index) {
        const Open& open = open_.back();
        if (index > 0) {
            out_.Put(',');
        }
        if (!open.scalars || index % kScalarsPerLine == 0) {
            NewLine(open_.size());
        } else {
            out_.Put(' ');
        }
    }
    void EndArray(const FieldNode&) { Close(']'); }

    void Payload(const FieldNode& node, std::span<const std::uint8_t> bytes) {
        if (node.kind == FieldKind::Bytes) {
            // Byte runs can be large (vertex data, sound banks): written in place.
            char* text = out_.Room(2 * bytes.size() + 2);
            *text++ = '"';
            for (std::uint8_t byte : bytes) {
                *text++ = kHexDigits[byte >> 4];
                *text++ = kHexDigits[byte & 15];
            }
            *text = '"';
            out_.Advance(2 * bytes.size() + 2);
            return;
        }
        std::string text;
        if (IsUtf8(bytes)) {
            AppendQuoted(text, bytes);
        } else {
            text += "{\"hex\": \"";
            AppendHex(text, bytes);
            text += "\"}";
        }
        out_.Put(text);
    }
    void Scalar(const FieldNode& node, std::uint64_t bits) {
        const bool word = IsNonFinite(node.kind, bits);
        char* text = out_.Room(kScalarChars + 2);
        if (word) {
            *text++ = '"';
        }
        std::size_t length = ScalarChars(text, node.kind, bits);
        if (word) {
            text[length] = '"';
            length += 2;
        }
        out_.Advance(length);
    }

private:
    struct Open {
        bool empty;    // written whole already: "{}" or "[]"
        bool oneLine;  // a structure of numbers only
        bool scalars;  // an array of numbers
    };

    bool Flat(const FieldNode& node) {
        std::int8_t& flat = flat_[layout_.IndexOf(node)];
        if (flat < 0) {
            flat = 1;
            for (std::uint32_t member : layout_.Members(node)) {
                flat = flat && IsScalar(layout_.node(member).kind) ? 1 : 0;
            }
        }
        return flat == 1;
    }
    void NewLine(std::size_t depth) {
        char* text = out_.Room(1 + 2 * depth);
        *text++ = '\n';
        for (std::size_t i = 0; i < 2 * depth; ++i) {
            *text++ = ' ';
        }
        out_.Advance(1 + 2 * depth);
    }
    void Close(char bracket) {
        const Open open = open_.back();
        open_.pop_back();
        if (open.empty) {
            return;
        }
        if (!open.oneLine) {
            NewLine(open_.size());
        }
        out_.Put(bracket);
    }

    const FieldLayout& layout_;
    JsonText& out_;
    // Each field's quoted name and ": ", made when first written, in one text: a small object of
    // a large type costs no string per node.
    struct Key {
        std::uint32_t offset = 0;
        std::uint32_t length = 0;  // 0 until made
    };
    std::vector<Key> keys_;
    std::string keyText_;
    std::vector<std::int8_t> flat_;
    std::vector<Open> open_;
};

// Writes the object as the parser reports the JSON, checking each value against the node the
// layout expects at that point; the first difference stops the parse.
class JsonImporter final : public nlohmann::json_sax<Json> {
public:
    JsonImporter(const FieldLayout& layout, ByteOrder order) : layout_(layout), writer_(order) {}

    std::vector<std::uint8_t>& bytes() { return writer_.bytes(); }
    const std::string& error() const { return error_; }
    bool done() const { return done_; }

    bool null() override { return Mismatch(); }
    bool boolean(bool value) override {
        const std::optional<std::uint32_t> node = Expected();
        if (!node || layout_.node(*node).kind != FieldKind::Bool) {
            return Mismatch();
        }
        writer_.PutScalar(FieldKind::Bool, value ? 1 : 0);
        return Complete(*node);
    }
    bool number_integer(number_integer_t value) override {
        return Integer(ScalarFromInteger, value, std::to_string(value));
    }
    bool number_unsigned(number_unsigned_t value) override {
        return Integer(ScalarFromUnsigned, value, std::to_string(value));
    }
    bool number_float(number_float_t, const string_t& text) override {
        const std::optional<std::uint32_t> node = Expected();
        if (!node || (layout_.node(*node).kind != FieldKind::Float &&
                      layout_.node(*node).kind != FieldKind::Double)) {
            return Mismatch();
        }
        return Scalar(*node, text);
    }
    bool string(string_t& text) override {
        if (!frames_.empty() && frames_.back().type == Frame::Hex) {
            return HexString(text);
        }
        const std::optional<std::uint32_t> node = Expected();
        if (!node) {
            return Mismatch();
        }
        const FieldNode& field = layout_.node(*node);
        if (field.kind == FieldKind::String) {
            return Payload(*node, AsBytes(text));
        }
        if (field.kind == FieldKind::Bytes) {
            std::vector<std::uint8_t> bytes;
            if (!ParseHex(text, bytes)) {
                return Fail("expected hexadecimal digits, two for each byte");
            }
            return Payload(*node, bytes);
        }
        if (field.kind == FieldKind::Float || field.kind == FieldKind::Double) {
            return Scalar(*node, text);  // "Infinity", "NaN", ...
        }
        return Mismatch();
    }
    bool binary(binary_t&) override { return Mismatch(); }

    bool start_object(std::size_t) override {
        const std::optional<std::uint32_t> node = Expected();
        if (!node) {
            return Mismatch();
        }
        const FieldKind kind = layout_.node(*node).kind;
        if (kind == FieldKind::Struct) {
            frames_.push_back({Frame::Struct, *node});
        } else if (kind == FieldKind::String) {
            frames_.push_back({Frame::Hex, *node});
        } else {
            return Mismatch();
        }
        return true;
    }
    bool key(string_t& key) override {
        Frame& frame = frames_.back();
        if (frame.type == Frame::Hex) {
            if (key != "hex" || frame.next > 0) {
                return Fail("expected a text, or {\"hex\": \"...\"} with its bytes");
            }
            frame.keyed = true;
            return true;
        }
        const FieldNode& node = layout_.node(frame.node);
        if (frame.next >= node.memberCount) {
            return Fail("the field \"" + key + "\" is not one of this structure's");
        }
        const std::string& expected = layout_.node(layout_.Members(node)[frame.next]).name;
        if (key != KeyText(expected)) {
            return Fail("expected the field \"" + KeyText(expected) + "\" here, found \"" + key +
                        "\" (fields come in the order the export writes them)");
        }
        frame.keyed = true;
        return true;
    }
    bool end_object() override {
        const Frame frame = frames_.back();
        const FieldNode& node = layout_.node(frame.node);
        if (frame.type == Frame::Hex && frame.next == 0) {
            return Fail("expected a text, or {\"hex\": \"...\"} with its bytes");
        }
        if (frame.type == Frame::Struct && frame.next < node.memberCount) {
            return Fail("the field \"" +
                        KeyText(layout_.node(layout_.Members(node)[frame.next]).name) +
                        "\" is missing");
        }
        frames_.pop_back();
        return Complete(frame.node);
    }
    bool start_array(std::size_t) override {
        const std::optional<std::uint32_t> node = Expected();
        if (!node || layout_.node(*node).kind != FieldKind::Array) {
            return Mismatch();
        }
        Frame frame{Frame::Array, *node};
        frame.countAt = writer_.size();
        writer_.PutCount(0);
        frames_.push_back(frame);
        return true;
    }
    bool end_array() override {
        const Frame frame = frames_.back();
        if (frame.next > static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max())) {
            return Fail("the array has more elements than a count can hold");
        }
        writer_.PatchCount(frame.countAt, frame.next);
        frames_.pop_back();
        return Complete(frame.node);
    }

    bool parse_error(std::size_t position, const std::string&,
                     const nlohmann::detail::exception& problem) override {
        std::string what = problem.what();
        if (const std::size_t tag = what.find("] "); tag != std::string::npos) {
            what.erase(0, tag + 2);
        }
        error_ = "The file is not valid JSON (byte " + std::to_string(position) + "): " + what;
        return false;
    }

private:
    struct Frame {
        enum Type { Struct, Array, Hex } type;
        std::uint32_t node;
        std::uint32_t next = 0;   // the fields or elements done
        bool keyed = false;       // a structure's key was read; its value comes next
        std::size_t countAt = 0;  // an array's count in the output
    };

    // The node the next value is for; nothing when no value may come.
    std::optional<std::uint32_t> Expected() const {
        if (frames_.empty()) {
            return done_ ? std::nullopt : std::optional<std::uint32_t>(layout_.root());
        }
        const Frame& frame = frames_.back();
        const FieldNode& node = layout_.node(frame.node);
        if (frame.type == Frame::Array) {
            return node.element;
        }
        if (frame.type == Frame::Struct && frame.keyed) {
            return layout_.Members(node)[frame.next];
        }
        return std::nullopt;
    }

    // A value for `node` is written: its alignment, then the next field or element.
    bool Complete(std::uint32_t node) {
        if (layout_.node(node).alignAfter) {
            writer_.Align();
        }
        if (frames_.empty()) {
            done_ = true;
            return true;
        }
        Frame& frame = frames_.back();
        ++frame.next;
        frame.keyed = false;
        return true;
    }

    template <class Convert, class Value>
    bool Integer(Convert convert, Value value, const std::string& text) {
        const std::optional<std::uint32_t> node = Expected();
        if (!node || !IsScalar(layout_.node(*node).kind)) {
            return Mismatch();
        }
        const FieldKind kind = layout_.node(*node).kind;
        const std::optional<std::uint64_t> bits = convert(kind, value);
        if (!bits) {
            return Fail(text + " is outside the range " + IntegerRange(kind));
        }
        writer_.PutScalar(kind, *bits);
        return Complete(*node);
    }

    bool Scalar(std::uint32_t node, const std::string& text) {
        std::string why;
        const FieldKind kind = layout_.node(node).kind;
        const std::optional<std::uint64_t> bits = ParseScalar(kind, text, why);
        if (!bits) {
            return Fail(why);
        }
        writer_.PutScalar(kind, *bits);
        return Complete(node);
    }

    bool Payload(std::uint32_t node, std::span<const std::uint8_t> bytes) {
        if (bytes.size() > static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max())) {
            return Fail("the value is longer than a count can hold");
        }
        writer_.PutCount(static_cast<std::uint32_t>(bytes.size()));
        writer_.PutBytes(bytes);
        return Complete(node);
    }

    bool HexString(const std::string& text) {
        Frame& frame = frames_.back();
        std::vector<std::uint8_t> bytes;
        if (!frame.keyed || !ParseHex(text, bytes)) {
            return Fail("expected hexadecimal digits, two for each byte");
        }
        writer_.PutCount(static_cast<std::uint32_t>(bytes.size()));
        writer_.PutBytes(bytes);
        frame.keyed = false;
        frame.next = 1;
        return true;
    }

    bool Mismatch() {
        const std::optional<std::uint32_t> node = Expected();
        if (!node) {
            return Fail("no value belongs here");
        }
        switch (layout_.node(*node).kind) {
            case FieldKind::Struct:
                return Fail("expected an object");
            case FieldKind::Array:
                return Fail("expected an array");
            case FieldKind::String:
                return Fail("expected a text");
            case FieldKind::Bytes:
                return Fail("expected a text of hexadecimal digits");
            case FieldKind::Bool:
                return Fail("expected true or false");
            case FieldKind::Float:
            case FieldKind::Double:
                return Fail("expected a number");
            default:
                return Fail("expected an integer");
        }
    }

    // The path of the value being read: its structure's fields and array indices.
    std::string Path() const {
        std::string path;
        for (const Frame& frame : frames_) {
            const FieldNode& node = layout_.node(frame.node);
            if (frame.type == Frame::Array) {
                path += "[" + std::to_string(frame.next) + "]";
            } else if (frame.type == Frame::Struct && frame.keyed) {
                if (!path.empty()) {
                    path += '.';
                }
                path += KeyText(layout_.node(layout_.Members(node)[frame.next]).name);
            }
        }
        return path;
    }

    bool Fail(const std::string& what) {
        const std::string path = Path();
        error_ = (path.empty() ? std::string("The JSON") : path) + ": " + what;
        return false;
    }

    const FieldLayout& layout_;
    FieldWriter writer_;
    std::vector<Frame> frames_;
    bool done_ = false;
    std::string error_;
};

// The bytes of the byte runs of `field` that lie outside arrays, found without visiting every
// value.
std::uint64_t ByteRunsOutsideArrays(const FieldReader& reader, FieldAt field) {
    const FieldNode& node = reader.Node(field);
    if (node.kind == FieldKind::Bytes) {
        return reader.Count(field);
    }
    std::uint64_t runs = 0;
    if (node.kind == FieldKind::Struct) {
        for (const FieldAt& member : reader.Members(field)) {
            runs += ByteRunsOutsideArrays(reader, member);
        }
    }
    return runs;
}

}  // namespace

std::string FieldsToJson(const FieldReader& reader) {
    // Byte runs outside arrays (a texture's image, a mesh's vertices) take two characters per
    // byte; numbers, even in arrays of three-float vectors, under five. Small objects are not
    // worth the look.
    constexpr std::size_t kLookedAt = 1 << 16;
    const std::uint64_t runs =
        reader.object().size() < kLookedAt ? 0 : ByteRunsOutsideArrays(reader, reader.Root());
    JsonText out(static_cast<std::size_t>(5 * (reader.object().size() - runs) + 2 * runs + 256));
    JsonWriter writer(reader.layout(), out);
    reader.Visit(reader.Root(), writer);
    out.Put('\n');
    return out.Take();
}

std::optional<std::vector<std::uint8_t>> FieldsFromJson(const FieldLayout& layout, ByteOrder order,
                                                        std::string_view json, std::string& error) {
    JsonImporter importer(layout, order);
    const bool parsed = Json::sax_parse(json.begin(), json.end(), &importer);
    if (!parsed || !importer.done()) {
        error =
            importer.error().empty() ? "The JSON ends before the object does." : importer.error();
        return std::nullopt;
    }
    std::vector<std::uint8_t> object = std::move(importer.bytes());
    if (std::optional<FieldError> problem = FieldReader(layout, object, order).Check()) {
        error = "The object written from the JSON does not read back: " + problem->Text();
        return std::nullopt;
    }
    return object;
}

}  // namespace kestrova
