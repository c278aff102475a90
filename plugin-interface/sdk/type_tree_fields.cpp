#include "sdk/type_tree_fields.h"

#include <limits>
#include <utility>

namespace kestrova {

namespace {

struct PrimitiveName {
    std::string_view type;
    FieldKind kind;
};

// The engine's primitive types by name; the size comes from the name, not from the node.
constexpr PrimitiveName kPrimitives[] = {
    {"bool", FieldKind::Bool},       {"char", FieldKind::UInt8},
    {"SInt8", FieldKind::SInt8},     {"UInt8", FieldKind::UInt8},
    {"SInt16", FieldKind::SInt16},   {"short", FieldKind::SInt16},
    {"UInt16", FieldKind::UInt16},   {"unsigned short", FieldKind::UInt16},
    {"int", FieldKind::SInt32},      {"SInt32", FieldKind::SInt32},
    {"UInt32", FieldKind::UInt32},   {"unsigned int", FieldKind::UInt32},
    {"Type*", FieldKind::UInt32},    {"float", FieldKind::Float},
    {"SInt64", FieldKind::SInt64},   {"long long", FieldKind::SInt64},
    {"UInt64", FieldKind::UInt64},   {"unsigned long long", FieldKind::UInt64},
    {"FileSize", FieldKind::UInt64}, {"double", FieldKind::Double},
};

std::optional<FieldKind> PrimitiveKind(std::string_view type) {
    for (const PrimitiveName& primitive : kPrimitives) {
        if (primitive.type == type) {
            return primitive.kind;
        }
    }
    return std::nullopt;
}

bool IsArrayNode(const TypeTreeNode& node) {
    return (node.typeFlags & 1) != 0 || node.type == "Array";
}

bool Aligns(const TypeTreeNode& node) {
    return (node.metaFlag & kAlignAfterField) != 0;
}

// Fixed sizes above this count as varying, so that a count times a size never overflows.
constexpr std::int64_t kMaxFixedSize = std::int64_t{1} << 31;

}  // namespace

bool IsScalar(FieldKind kind) {
    return kind <= FieldKind::Double;
}

unsigned ScalarWidth(FieldKind kind) {
    switch (kind) {
        case FieldKind::Bool:
        case FieldKind::SInt8:
        case FieldKind::UInt8:
            return 1;
        case FieldKind::SInt16:
        case FieldKind::UInt16:
            return 2;
        case FieldKind::SInt32:
        case FieldKind::UInt32:
        case FieldKind::Float:
            return 4;
        case FieldKind::SInt64:
        case FieldKind::UInt64:
        case FieldKind::Double:
            return 8;
        default:
            return 0;
    }
}

// Compiles the pre-order nodes recursively; the depth is bounded by the level check first.
class FieldLayoutCompiler {
public:
    FieldLayoutCompiler(const TypeTree& tree, FieldLayout& layout, std::string& error)
        : nodes_(tree.nodes), layout_(layout), error_(error) {}

    bool Run() {
        if (nodes_.empty()) {
            error_ = "The type tree has no nodes.";
            return false;
        }
        if (!CheckLevels()) {
            return false;
        }
        return Compile(0).has_value();
    }

private:
    bool CheckLevels() {
        const int rootLevel = nodes_[0].level;
        ends_.assign(nodes_.size(), nodes_.size());
        std::vector<std::size_t> open;
        for (std::size_t i = 0; i < nodes_.size(); ++i) {
            const int level = nodes_[i].level;
            if (i > 0 && level <= rootLevel) {
                return Refuse(i, "it is a second root (level " + std::to_string(level) + ")");
            }
            if (i > 0 && level > nodes_[i - 1].level + 1) {
                return Refuse(i, "its level " + std::to_string(level) + " jumps from " +
                                     std::to_string(nodes_[i - 1].level));
            }
            if (level - rootLevel > kMaxFieldDepth) {
                return Refuse(i,
                              "it nests deeper than " + std::to_string(kMaxFieldDepth) + " levels");
            }
            while (!open.empty() && nodes_[open.back()].level >= level) {
                ends_[open.back()] = i;
                open.pop_back();
            }
            open.push_back(i);
        }
        return true;
    }

    bool Refuse(std::size_t i, const std::string& why) {
        error_ = "Type tree node " + std::to_string(i) + " (\"" + nodes_[i].name + "\" of type \"" +
                 nodes_[i].type + "\"): " + why + ".";
        return false;
    }

    std::vector<std::size_t> ChildrenOf(std::size_t i) const {
        std::vector<std::size_t> children;
        for (std::size_t j = i + 1; j < ends_[i]; j = ends_[j]) {
            children.push_back(j);
        }
        return children;
    }

    std::optional<std::uint32_t> Compile(std::size_t i) {
        const TypeTreeNode& source = nodes_[i];
        const auto self = static_cast<std::uint32_t>(layout_.nodes_.size());
        layout_.nodes_.emplace_back();
        FieldNode node;
        node.type = source.type;
        node.name = source.name;
        node.alignAfter = Aligns(source);
        const std::vector<std::size_t> children = ChildrenOf(i);
        bool compiled = true;
        if (IsArrayNode(source)) {
            compiled = CompileArray(i, node);
        } else if (std::optional<FieldKind> kind = PrimitiveKind(source.type)) {
            node.kind = *kind;
        } else if (source.type == "string") {
            node.kind = FieldKind::String;
            // The length and the characters are the child array's: it may carry the alignment.
            if (!children.empty() && IsArrayNode(nodes_[children[0]])) {
                node.alignAfter = node.alignAfter || Aligns(nodes_[children[0]]);
            }
        } else if (source.type == "TypelessData") {
            node.kind = FieldKind::Bytes;
        } else if (children.empty()) {
            compiled = CompileUnknownLeaf(i, node);
        } else if (children.size() == 1 && IsArrayNode(nodes_[children[0]])) {
            compiled = CompileArray(children[0], node);
        } else {
            node.kind = FieldKind::Struct;
            std::vector<std::uint32_t> members;
            for (std::size_t child : children) {
                std::optional<std::uint32_t> member = Compile(child);
                if (!member) {
                    return std::nullopt;
                }
                members.push_back(*member);
            }
            node.firstMember = static_cast<std::uint32_t>(layout_.members_.size());
            node.memberCount = static_cast<std::uint32_t>(members.size());
            layout_.members_.insert(layout_.members_.end(), members.begin(), members.end());
        }
        if (!compiled) {
            return std::nullopt;
        }
        Summarise(node);
        layout_.nodes_[self] = std::move(node);
        return self;
    }

    // An "Array" node: its size and data children. The node being compiled may be the array
    // itself or the one field (vector, map, ...) that holds it; both end where the array ends, so
    // the alignment of either applies.
    bool CompileArray(std::size_t arrayIndex, FieldNode& node) {
        const std::vector<std::size_t> parts = ChildrenOf(arrayIndex);
        if (parts.size() != 2) {
            return Refuse(arrayIndex, "an array needs exactly a size and a data node, it has " +
                                          std::to_string(parts.size()) + " children");
        }
        const std::optional<FieldKind> sizeKind = PrimitiveKind(nodes_[parts[0]].type);
        if (sizeKind != FieldKind::SInt32 && sizeKind != FieldKind::UInt32) {
            return Refuse(parts[0], "an array's size must be a 32-bit integer");
        }
        node.alignAfter = node.alignAfter || Aligns(nodes_[arrayIndex]);
        std::optional<std::uint32_t> element = Compile(parts[1]);
        if (!element) {
            return false;
        }
        const FieldNode& data = layout_.nodes_[*element];
        const bool oneByte = data.kind == FieldKind::UInt8 || data.kind == FieldKind::SInt8;
        node.kind = oneByte && !data.aligns ? FieldKind::Bytes : FieldKind::Array;
        node.element = *element;
        return true;
    }

    // A leaf of a type the reader does not know by name: an empty structure, or an unsigned
    // integer of its declared size.
    bool CompileUnknownLeaf(std::size_t i, FieldNode& node) {
        switch (nodes_[i].byteSize) {
            case 0:
                node.kind = FieldKind::Struct;
                return true;
            case 1:
                node.kind = FieldKind::UInt8;
                return true;
            case 2:
                node.kind = FieldKind::UInt16;
                return true;
            case 4:
                node.kind = FieldKind::UInt32;
                return true;
            case 8:
                node.kind = FieldKind::UInt64;
                return true;
            default:
                return Refuse(i, "a field of this type and size " +
                                     std::to_string(nodes_[i].byteSize) + " cannot be read");
        }
    }

    void Summarise(FieldNode& node) const {
        node.aligns = node.alignAfter;
        if (IsScalar(node.kind)) {
            node.fixedSize = ScalarWidth(node.kind);
        } else if (node.kind == FieldKind::Array) {
            node.aligns = node.aligns || layout_.nodes_[node.element].aligns;
        } else if (node.kind == FieldKind::Struct) {
            std::int64_t size = 0;
            for (std::uint32_t member : layout_.Members(node)) {
                const FieldNode& m = layout_.nodes_[member];
                node.aligns = node.aligns || m.aligns;
                size = (size < 0 || m.fixedSize < 0) ? -1 : size + m.fixedSize;
                if (size > kMaxFixedSize) {
                    size = -1;
                }
            }
            node.fixedSize = size;
        }
    }

    const std::vector<TypeTreeNode>& nodes_;
    FieldLayout& layout_;
    std::string& error_;
    std::vector<std::size_t> ends_;  // the index after each node's subtree
};

std::optional<FieldLayout> FieldLayout::Compile(const TypeTree& tree, std::string& error) {
    FieldLayout layout;
    FieldLayoutCompiler compiler(tree, layout, error);
    if (!compiler.Run()) {
        return std::nullopt;
    }
    return layout;
}

std::string FieldError::Text() const {
    std::string text = path.empty() ? "The object" : path;
    return text + " (byte " + std::to_string(offset) + "): " + what;
}

namespace {

// Walks without noting where: the fast path, and the one for objects already checked.
struct NoTrace {
    // Arrays of fixed-size elements are measured by multiplication.
    static constexpr bool kByElement = false;
    void Enter(const std::string&) {}
    void EnterIndex(std::uint32_t) {}
    void Leave() {}
    template <class What>
    bool Fail(std::uint64_t, What&&) {
        return false;
    }
};

// Notes the path into the object, for the message when it does not read.
struct PathTrace {
    // Every element is walked, so that a failure is placed in the element where it happens.
    static constexpr bool kByElement = true;
    std::vector<std::string> parts;
    FieldError error;

    void Enter(const std::string& name) { parts.push_back(name); }
    void EnterIndex(std::uint32_t index) { parts.push_back("[" + std::to_string(index) + "]"); }
    void Leave() { parts.pop_back(); }
    template <class What>
    bool Fail(std::uint64_t at, What&& what) {
        error.path.clear();
        for (const std::string& part : parts) {
            if (!error.path.empty() && part[0] != '[') {
                error.path += '.';
            }
            error.path += part;
        }
        error.offset = at;
        error.what = what();
        return false;
    }
};

// Arrays with at least this many elements of varying size are indexed when scanned.
constexpr std::uint32_t kIndexedArray = 256;

}  // namespace

FieldReader::FieldReader(const FieldLayout& layout, std::span<const std::uint8_t> object,
                         ByteOrder order)
    : layout_(layout), object_(object), order_(order) {}

template <class Trace>
bool FieldReader::ReadCount(std::uint64_t at, std::uint32_t& count, Trace& trace) const {
    ByteReader reader(object_, at);
    std::uint32_t word = 0;
    const bool read = order_ == ByteOrder::Little ? reader.ReadLittleEndian32(word)
                                                  : reader.ReadBigEndian32(word);
    if (!read) {
        return trace.Fail(at, [&] {
            return "a count needs 4 bytes; " + std::to_string(reader.remaining()) + " are left";
        });
    }
    const auto value = static_cast<std::int32_t>(word);
    if (value < 0) {
        return trace.Fail(at,
                          [&] { return "the count " + std::to_string(value) + " is negative"; });
    }
    if (static_cast<std::uint64_t>(value) > reader.remaining()) {
        return trace.Fail(at, [&] {
            return "the count " + std::to_string(value) + " exceeds the " +
                   std::to_string(reader.remaining()) + " bytes left";
        });
    }
    count = static_cast<std::uint32_t>(value);
    return true;
}

std::optional<std::uint64_t> FieldReader::Stride(const FieldNode& array, std::uint64_t data) const {
    const FieldNode& element = layout_.node(array.element);
    if (element.fixedSize < 0) {
        return std::nullopt;
    }
    if (!element.aligns) {
        return static_cast<std::uint64_t>(element.fixedSize);
    }
    // Alignment inside an element counts from the object's start: the size is the same for every
    // element when it keeps the next element's start at the same remainder of 4.
    std::uint64_t end = data;
    NoTrace quiet;
    if (!Walk(array.element, end, quiet) || (end - data) % 4 != 0) {
        return std::nullopt;
    }
    return end - data;
}

template <class Trace>
bool FieldReader::WalkArray(const FieldNode& node, std::uint64_t& at, Trace& trace) const {
    std::uint32_t count = 0;
    if (!ReadCount(at, count, trace)) {
        return false;
    }
    const std::uint64_t data = at + 4;
    if (node.kind != FieldKind::Array) {
        at = data + count;
        return true;
    }
    if (count == 0) {
        at = data;
        return true;
    }
    if (std::optional<std::uint64_t> stride =
            Trace::kByElement ? std::nullopt : Stride(node, data)) {
        const std::uint64_t total = *stride * count;
        if (!Holds(data, total)) {
            return false;  // the traced walk finds the element that does not fit
        }
        at = data + total;
        return true;
    }
    if (auto known = indexes_.find(at); known != indexes_.end()) {
        at = known->second.end;
        return true;
    }
    const bool indexed = count >= kIndexedArray;
    ArrayIndex index;
    if (indexed) {
        index.starts.reserve(count / kCheckpointStep + 1);
    }
    std::uint64_t position = data;
    for (std::uint32_t i = 0; i < count; ++i) {
        if (indexed && i % kCheckpointStep == 0) {
            index.starts.push_back(position);
        }
        trace.EnterIndex(i);
        if (!Walk(node.element, position, trace)) {
            return false;
        }
        trace.Leave();
    }
    if (indexed) {
        index.end = position;
        indexes_.emplace(at, std::move(index));
    }
    at = position;
    return true;
}

template <class Trace>
bool FieldReader::Walk(std::uint32_t index, std::uint64_t& at, Trace& trace) const {
    const FieldNode& node = layout_.node(index);
    switch (node.kind) {
        case FieldKind::Struct:
            for (std::uint32_t member : layout_.Members(node)) {
                trace.Enter(layout_.node(member).name);
                if (!Walk(member, at, trace)) {
                    return false;
                }
                trace.Leave();
            }
            break;
        case FieldKind::String:
        case FieldKind::Bytes:
        case FieldKind::Array:
            if (!WalkArray(node, at, trace)) {
                return false;
            }
            break;
        default: {
            const unsigned width = ScalarWidth(node.kind);
            if (!Holds(at, width)) {
                return trace.Fail(at, [&] {
                    return "a " + node.type + " needs " + std::to_string(width) + " bytes; " +
                           std::to_string(object_.size() - at) + " are left";
                });
            }
            at += width;
        }
    }
    if (node.alignAfter) {
        const std::uint64_t aligned = RoundUp4(at);
        if (!Holds(at, aligned - at)) {
            return trace.Fail(at, [] { return std::string("the object ends inside the padding"); });
        }
        at = aligned;
    }
    return true;
}

std::optional<FieldError> FieldReader::Check() const {
    std::uint64_t end = 0;
    NoTrace quiet;
    if (Walk(layout_.root(), end, quiet)) {
        if (end == object_.size()) {
            return std::nullopt;
        }
        FieldError error;
        error.offset = end;
        error.what = "the fields end here, but the object holds " + std::to_string(object_.size()) +
                     " bytes";
        return error;
    }
    PathTrace trace;
    std::uint64_t at = 0;
    Walk(layout_.root(), at, trace);
    return trace.error;
}

std::uint64_t FieldReader::End(FieldAt field) const {
    NoTrace quiet;
    Walk(field.node, field.offset, quiet);
    return field.offset;
}

std::vector<FieldAt> FieldReader::Members(FieldAt structure) const {
    std::vector<FieldAt> members;
    std::uint64_t at = structure.offset;
    for (std::uint32_t member : layout_.Members(Node(structure))) {
        members.push_back({member, at});
        at = End(members.back());
    }
    return members;
}

std::uint32_t FieldReader::Count(FieldAt field) const {
    return static_cast<std::uint32_t>(Load(field.offset, 4));
}

const FieldReader::ArrayIndex& FieldReader::IndexOf(FieldAt array) const {
    auto known = indexes_.find(array.offset);
    if (known == indexes_.end()) {
        End(array);  // scans the array, which indexes it
        known = indexes_.find(array.offset);
    }
    return known->second;
}

FieldAt FieldReader::Element(FieldAt array, std::uint32_t index) const {
    const FieldNode& node = Node(array);
    const std::uint64_t data = array.offset + 4;
    if (std::optional<std::uint64_t> stride = Stride(node, data)) {
        return {node.element, data + *stride * index};
    }
    std::uint64_t at = data;
    std::uint32_t first = 0;
    if (Count(array) >= kIndexedArray) {
        const ArrayIndex& known = IndexOf(array);
        first = index / kCheckpointStep * kCheckpointStep;
        at = known.starts[index / kCheckpointStep];
    }
    NoTrace quiet;
    for (std::uint32_t i = first; i < index; ++i) {
        Walk(node.element, at, quiet);
    }
    return {node.element, at};
}

std::uint64_t FieldReader::ScalarBits(FieldAt scalar) const {
    return Load(scalar.offset, ScalarWidth(Node(scalar).kind));
}

std::span<const std::uint8_t> FieldReader::Payload(FieldAt field) const {
    ByteReader reader(object_, field.offset);
    std::span<const std::uint8_t> payload;
    if (!reader.Skip(4) || !reader.Take(Count(field), payload)) {
        return {};
    }
    return payload;
}

void FieldWriter::PutUnsigned(std::uint64_t value, unsigned width) {
    for (unsigned i = 0; i < width; ++i) {
        const unsigned shift = order_ == ByteOrder::Little ? 8 * i : 8 * (width - 1 - i);
        bytes_.push_back(static_cast<std::uint8_t>(value >> shift));
    }
}

void FieldWriter::PutScalar(FieldKind kind, std::uint64_t bits) {
    PutUnsigned(bits, ScalarWidth(kind));
}

void FieldWriter::PutCount(std::uint32_t count) {
    PutUnsigned(count, 4);
}

void FieldWriter::PutBytes(std::span<const std::uint8_t> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
}

void FieldWriter::PatchCount(std::size_t at, std::uint32_t count) {
    for (unsigned i = 0; i < 4; ++i) {
        const unsigned shift = order_ == ByteOrder::Little ? 8 * i : 8 * (3 - i);
        bytes_[at + i] = static_cast<std::uint8_t>(count >> shift);
    }
}

void FieldWriter::Align(std::span<const std::uint8_t> formerPadding) {
    const std::size_t padding = static_cast<std::size_t>(RoundUp4(bytes_.size()) - bytes_.size());
    if (formerPadding.size() == padding) {
        PutBytes(formerPadding);
    } else {
        bytes_.insert(bytes_.end(), padding, std::uint8_t{0});
    }
}

namespace {

// Copies a checked object field by field, with one string or byte run replaced.
class PayloadReplacer {
public:
    PayloadReplacer(const FieldReader& reader, FieldAt target,
                    std::span<const std::uint8_t> payload)
        : reader_(reader), target_(target), payload_(payload), writer_(reader.order()) {}

    std::vector<std::uint8_t> Run() {
        Copy(reader_.Root());
        return std::move(writer_.bytes());
    }

private:
    // Writes the field and returns where it ends in the source.
    std::uint64_t Copy(FieldAt field) {
        const FieldNode& node = reader_.Node(field);
        const std::span<const std::uint8_t> source = reader_.object();
        std::uint64_t end = reader_.End(field);
        const bool holdsTarget = target_.offset >= field.offset && target_.offset < end;
        if (!holdsTarget && !node.aligns) {
            // Nothing inside moves relative to a multiple of 4 that matters: copied as it is.
            writer_.PutBytes(source.subspan(field.offset, end - field.offset));
            return end;
        }
        std::uint64_t at = field.offset;
        switch (node.kind) {
            case FieldKind::Struct:
                for (const FieldAt& member : reader_.Members(field)) {
                    at = Copy(member);
                }
                break;
            case FieldKind::String:
            case FieldKind::Bytes: {
                const bool replaced = field.offset == target_.offset && field.node == target_.node;
                const std::span<const std::uint8_t> bytes =
                    replaced ? payload_ : reader_.Payload(field);
                writer_.PutCount(static_cast<std::uint32_t>(bytes.size()));
                writer_.PutBytes(bytes);
                at = field.offset + 4 + reader_.Count(field);
                break;
            }
            case FieldKind::Array: {
                const std::uint32_t count = reader_.Count(field);
                writer_.PutCount(count);
                at = field.offset + 4;
                for (std::uint32_t i = 0; i < count; ++i) {
                    at = Copy({node.element, at});
                }
                break;
            }
            default:
                at = field.offset + ScalarWidth(node.kind);
                writer_.PutBytes(source.subspan(field.offset, ScalarWidth(node.kind)));
        }
        if (node.alignAfter) {
            writer_.Align(source.subspan(at, RoundUp4(at) - at));
        }
        return end;
    }

    const FieldReader& reader_;
    FieldAt target_;
    std::span<const std::uint8_t> payload_;
    FieldWriter writer_;
};

}  // namespace

std::vector<std::uint8_t> ReplacePayload(const FieldReader& reader, FieldAt target,
                                         std::span<const std::uint8_t> payload) {
    return PayloadReplacer(reader, target, payload).Run();
}

}  // namespace kestrova
