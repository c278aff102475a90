#pragma once
// An object's fields read through its type tree, with the object's bytes as the only source of
// truth: a FieldLayout is the tree checked once and turned into kinds the reader dispatches on; a
// FieldReader walks the bytes and makes values only for the fields asked for. Arrays of
// fixed-size elements are indexed arithmetically; others are scanned once and remembered.
// FieldWriter and ReplacePayload write objects back.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "sdk/byte_reader.h"
#include "sdk/type_tree.h"

namespace kestrova {

enum class ByteOrder : std::uint8_t { Little, Big };

// Types nest a few dozen levels at most; a tree deeper than this is refused rather than walked.
inline constexpr int kMaxFieldDepth = 96;

enum class FieldKind : std::uint8_t {
    Bool,
    SInt8,
    UInt8,
    SInt16,
    UInt16,
    SInt32,
    UInt32,
    SInt64,
    UInt64,
    Float,
    Double,
    String,  // i32 length and that many bytes
    Bytes,   // TypelessData, or an array of 1-byte elements: i32 count and the bytes
    Array,   // i32 count and that many elements
    Struct,  // the members, one after the other
};

bool IsScalar(FieldKind kind);
// The byte count of a scalar kind; 0 for the others.
unsigned ScalarWidth(FieldKind kind);

struct FieldNode {
    std::string type;  // as the tree names it: "float", "vector", "PPtr<Material>", ...
    std::string name;
    FieldKind kind = FieldKind::Struct;
    // After the field the reader aligns to 4 bytes from the object's start (RoundUp4).
    bool alignAfter = false;
    // Some field inside aligns (or this one does).
    bool aligns = false;
    // The field's size when every value of it has the same size (alignment not counted), else -1.
    std::int64_t fixedSize = -1;
    std::uint32_t element = 0;      // Array: the element's node
    std::uint32_t firstMember = 0;  // Struct: its members in FieldLayout::Members
    std::uint32_t memberCount = 0;
};

// A type tree checked and compiled. A node whose only child is an "Array" node (vector, map, set,
// ...) becomes an Array itself; "string" and "TypelessData" are leaves; arrays of 1-byte elements
// become Bytes.
class FieldLayout {
public:
    // Refuses trees whose levels jump, that nest deeper than kMaxFieldDepth, whose arrays lack
    // their size and data, or that hold a leaf of a type without a known size; `error` says which
    // node and why.
    static std::optional<FieldLayout> Compile(const TypeTree& tree, std::string& error);

    std::uint32_t root() const { return 0; }
    const FieldNode& node(std::uint32_t index) const { return nodes_[index]; }
    std::span<const std::uint32_t> Members(const FieldNode& node) const {
        return std::span<const std::uint32_t>(members_).subspan(node.firstMember, node.memberCount);
    }
    std::size_t nodeCount() const { return nodes_.size(); }
    std::uint32_t IndexOf(const FieldNode& node) const {
        return static_cast<std::uint32_t>(&node - nodes_.data());
    }

private:
    std::vector<FieldNode> nodes_;
    std::vector<std::uint32_t> members_;

    friend class FieldLayoutCompiler;
};

// A field of an object: its node and where its bytes begin.
struct FieldAt {
    std::uint32_t node = 0;
    std::uint64_t offset = 0;
};

// Where and why an object does not read through its tree.
struct FieldError {
    std::string path;  // "m_Colors[2].second.r"; empty for the object as a whole
    std::uint64_t offset = 0;
    std::string what;

    // "m_Colors[2].second.r (byte 52): a float needs 4 bytes; 2 are left"
    std::string Text() const;
};

class FieldReader {
public:
    // The object's bytes stay the caller's and must outlive the reader.
    FieldReader(const FieldLayout& layout, std::span<const std::uint8_t> object, ByteOrder order);

    // Reads the whole object once. Nothing when the fields end exactly at its last byte;
    // otherwise where reading stopped. Large arrays of varying elements are indexed on the way.
    std::optional<FieldError> Check() const;

    const FieldLayout& layout() const { return layout_; }
    std::span<const std::uint8_t> object() const { return object_; }
    ByteOrder order() const { return order_; }
    FieldAt Root() const { return {layout_.root(), 0}; }
    const FieldNode& Node(FieldAt field) const { return layout_.node(field.node); }

    // The calls below are for an object that passed Check.
    // Where the next field begins: after this one and its alignment.
    std::uint64_t End(FieldAt field) const;
    std::vector<FieldAt> Members(FieldAt structure) const;
    // An array's element count, a string's or a byte run's length.
    std::uint32_t Count(FieldAt field) const;
    FieldAt Element(FieldAt array, std::uint32_t index) const;
    // A scalar's bits in host order, zero-extended.
    std::uint64_t ScalarBits(FieldAt scalar) const;
    // A string's or a byte run's bytes.
    std::span<const std::uint8_t> Payload(FieldAt field) const;

    // Walks the field in byte order, once, telling `visitor` of every value in it:
    //   BeginStruct(node), Member(memberNode, position) before each member, EndStruct(node);
    //   BeginArray(node, count), Element(index) before each element, EndArray(node);
    //   Payload(node, bytes) for a string or byte run; Scalar(node, bits) for a number or bool.
    // Returns where the next field begins. The fastest way through every value.
    template <class Visitor>
    std::uint64_t Visit(FieldAt field, Visitor& visitor) const;

private:
    struct ArrayIndex {
        std::vector<std::uint64_t> starts;  // every kCheckpointStep-th element's offset
        std::uint64_t end = 0;              // after the last element, before any alignment
    };
    static constexpr std::uint32_t kCheckpointStep = 64;

    template <class Trace>
    bool Walk(std::uint32_t node, std::uint64_t& at, Trace& trace) const;
    template <class Trace>
    bool WalkArray(const FieldNode& node, std::uint64_t& at, Trace& trace) const;
    template <class Trace>
    bool ReadCount(std::uint64_t at, std::uint32_t& count, Trace& trace) const;
    // The distance between elements when it is the same for all, for an array whose elements
    // begin at `data` and that holds at least one element.
    std::optional<std::uint64_t> Stride(const FieldNode& array, std::uint64_t data) const;
    // Whether `count` bytes at `at` lie inside the object, by ByteReader's bounds rule.
    bool Holds(std::uint64_t at, std::uint64_t count) const {
        return ByteReader(object_).Contains(at, count);
    }
    std::uint64_t Load(std::uint64_t at, unsigned width) const;
    const ArrayIndex& IndexOf(FieldAt array) const;
    // A structure of scalars only, none aligned after it: its values lie one after another.
    bool FlatStruct(const FieldNode& node) const {
        if (node.kind != FieldKind::Struct || node.aligns) {
            return false;
        }
        for (std::uint32_t member : layout_.Members(node)) {
            if (!IsScalar(layout_.node(member).kind)) {
                return false;
            }
        }
        return true;
    }

    const FieldLayout& layout_;
    std::span<const std::uint8_t> object_;
    ByteOrder order_;
    // Large arrays of varying elements, by their offset: scanned once, then kept.
    mutable std::unordered_map<std::uint64_t, ArrayIndex> indexes_;
};

inline std::uint64_t FieldReader::Load(std::uint64_t at, unsigned width) const {
    if (!Holds(at, width)) {
        return 0;  // never for a checked object; a read outside it must not happen either
    }
    const std::uint8_t* p = object_.data() + at;
    std::uint64_t value = 0;
    if (order_ == ByteOrder::Little && std::endian::native == std::endian::little) {
        // Copies of a known size, which the compiler turns into single loads.
        switch (width) {
            case 1:
                return *p;
            case 2: {
                std::uint16_t v;
                std::memcpy(&v, p, 2);
                return v;
            }
            case 4: {
                std::uint32_t v;
                std::memcpy(&v, p, 4);
                return v;
            }
            default:
                std::memcpy(&value, p, 8);
                return value;
        }
    }
    for (unsigned i = 0; i < width; ++i) {
        const unsigned byte = order_ == ByteOrder::Little ? width - 1 - i : i;
        value = (value << 8) | p[byte];
    }
    return value;
}

template <class Visitor>
std::uint64_t FieldReader::Visit(FieldAt field, Visitor& visitor) const {
    const FieldNode& node = Node(field);
    std::uint64_t at = field.offset;
    switch (node.kind) {
        case FieldKind::Struct: {
            visitor.BeginStruct(node);
            std::uint32_t position = 0;
            for (std::uint32_t member : layout_.Members(node)) {
                visitor.Member(layout_.node(member), position++);
                at = Visit({member, at}, visitor);
            }
            visitor.EndStruct(node);
            break;
        }
        case FieldKind::Array: {
            const std::uint32_t count = Count(field);
            const FieldNode& element = layout_.node(node.element);
            visitor.BeginArray(node, count);
            at += 4;
            if (IsScalar(element.kind) && !element.alignAfter) {
                // The common large arrays (vertices, weights, curves): one loop, no recursion.
                const unsigned width = ScalarWidth(element.kind);
                for (std::uint32_t i = 0; i < count; ++i, at += width) {
                    visitor.Element(i);
                    visitor.Scalar(element, Load(at, width));
                }
            } else if (FlatStruct(element)) {
                // Vectors, colours, references: their members in a loop of their own.
                const std::span<const std::uint32_t> members = layout_.Members(element);
                for (std::uint32_t i = 0; i < count; ++i) {
                    visitor.Element(i);
                    visitor.BeginStruct(element);
                    std::uint32_t position = 0;
                    for (std::uint32_t member : members) {
                        const FieldNode& scalar = layout_.node(member);
                        const unsigned width = ScalarWidth(scalar.kind);
                        visitor.Member(scalar, position++);
                        visitor.Scalar(scalar, Load(at, width));
                        at += width;
                    }
                    visitor.EndStruct(element);
                }
            } else {
                for (std::uint32_t i = 0; i < count; ++i) {
                    visitor.Element(i);
                    at = Visit({node.element, at}, visitor);
                }
            }
            visitor.EndArray(node);
            break;
        }
        case FieldKind::String:
        case FieldKind::Bytes: {
            const std::span<const std::uint8_t> bytes = Payload(field);
            visitor.Payload(node, bytes);
            at += 4 + bytes.size();
            break;
        }
        default:
            visitor.Scalar(node, Load(at, ScalarWidth(node.kind)));
            at += ScalarWidth(node.kind);
    }
    return node.alignAfter ? RoundUp4(at) : at;
}

// Appends fields in an object's byte order.
class FieldWriter {
public:
    explicit FieldWriter(ByteOrder order) : order_(order) {}

    void PutScalar(FieldKind kind, std::uint64_t bits);
    void PutCount(std::uint32_t count);
    void PutBytes(std::span<const std::uint8_t> bytes);
    // Sets a count written earlier at `at`.
    void PatchCount(std::size_t at, std::uint32_t count);
    // Pads to a multiple of 4 with the object's former padding when it had as many bytes there,
    // with zeros otherwise, so that an unchanged object is written back byte for byte.
    void Align(std::span<const std::uint8_t> formerPadding = {});

    std::size_t size() const { return bytes_.size(); }
    std::vector<std::uint8_t>& bytes() { return bytes_; }

private:
    void PutUnsigned(std::uint64_t value, unsigned width);

    ByteOrder order_;
    std::vector<std::uint8_t> bytes_;
};

// The checked object written again with the string or byte run at `target` holding `payload`;
// every other byte as it was, padding after the change recomputed.
std::vector<std::uint8_t> ReplacePayload(const FieldReader& reader, FieldAt target,
                                         std::span<const std::uint8_t> payload);

}  // namespace kestrova
