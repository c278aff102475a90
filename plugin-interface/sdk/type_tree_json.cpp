#include "sdk/type_tree_json.h"

#include <limits>

#include <nlohmann/json.hpp>

#include "sdk/field_values.h"

namespace kestrova {

namespace {

using Json = nlohmann::json;

constexpr unsigned kScalarsPerLine = 16;

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
    for (std::uint8_t c : utf8) {
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
                if (c < 0x20) {
                    out += "\\u00";
                    out += kDigits[c >> 4];
                    out += kDigits[c & 15];
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    out += '"';
}

class JsonWriter {
public:
    JsonWriter(const FieldReader& reader, std::string& out) : reader_(reader), out_(out) {}

    void Value(FieldAt field, int depth) {
        const FieldNode& node = reader_.Node(field);
        switch (node.kind) {
            case FieldKind::Struct:
                Struct(field, depth);
                break;
            case FieldKind::Array:
                Array(field, depth);
                break;
            case FieldKind::String: {
                const std::span<const std::uint8_t> text = reader_.Payload(field);
                if (IsUtf8(text)) {
                    AppendQuoted(out_, text);
                } else {
                    out_ += "{\"hex\": \"";
                    AppendHex(out_, text);
                    out_ += "\"}";
                }
                break;
            }
            case FieldKind::Bytes:
                out_ += '"';
                AppendHex(out_, reader_.Payload(field));
                out_ += '"';
                break;
            default:
                Scalar(field);
        }
    }

private:
    void NewLine(int depth) {
        out_ += '\n';
        out_.append(2 * static_cast<std::size_t>(depth), ' ');
    }

    void Scalar(FieldAt field) {
        const FieldKind kind = reader_.Node(field).kind;
        const std::uint64_t bits = reader_.ScalarBits(field);
        if (IsNonFinite(kind, bits)) {
            out_ += '"';
            AppendScalarText(out_, kind, bits);
            out_ += '"';
        } else {
            AppendScalarText(out_, kind, bits);
        }
    }

    void Struct(FieldAt field, int depth) {
        const std::vector<FieldAt> members = reader_.Members(field);
        if (members.empty()) {
            out_ += "{}";
            return;
        }
        out_ += '{';
        for (std::size_t i = 0; i < members.size(); ++i) {
            if (i > 0) {
                out_ += ',';
            }
            NewLine(depth + 1);
            const std::string key = KeyText(reader_.Node(members[i]).name);
            AppendQuoted(out_, AsBytes(key));
            out_ += ": ";
            Value(members[i], depth + 1);
        }
        NewLine(depth);
        out_ += '}';
    }

    // Scalars run on in lines of a few; other elements take a line each.
    void Array(FieldAt field, int depth) {
        const std::uint32_t count = reader_.Count(field);
        if (count == 0) {
            out_ += "[]";
            return;
        }
        const bool scalars = IsScalar(reader_.layout().node(reader_.Node(field).element).kind);
        out_ += '[';
        FieldAt element = reader_.Element(field, 0);
        for (std::uint32_t i = 0; i < count; ++i) {
            if (i > 0) {
                out_ += ',';
                element.offset = reader_.End(element);
            }
            if (!scalars || i % kScalarsPerLine == 0) {
                NewLine(depth + 1);
            } else {
                out_ += ' ';
            }
            Value(element, depth + 1);
        }
        NewLine(depth);
        out_ += ']';
    }

    const FieldReader& reader_;
    std::string& out_;
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

}  // namespace

std::string FieldsToJson(const FieldReader& reader) {
    std::string out;
    out.reserve(static_cast<std::size_t>(reader.object().size() * 3));
    JsonWriter(reader, out).Value(reader.Root(), 0);
    out += '\n';
    return out;
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
