#pragma once
// Builds serialized files of the later forms (formats 9 to 22, either byte order) for tests: a
// type list with or without trees, objects whose data starts 8-aligned (zero padding between,
// none after the last), externals. Written from the layout alone, as a reference for the reader
// and the writer.

#include <cstdint>
#include <string>
#include <vector>

#include "tests/document/asset_file_builder.h"

namespace kestrova::testing {

struct TreeField {
    std::uint8_t level = 0;
    std::string type;
    std::string name;
    std::int32_t byteSize = -1;
    std::uint32_t metaFlag = 0;
    std::uint8_t typeFlags = 0;
};

// A class whose data starts with m_Name (a string), then an int.
inline std::vector<TreeField> NamedTree(const std::string& root) {
    return {{0, root, "Base", -1, 0x8000},
            {1, "string", "m_Name", -1, 0x8000},
            {2, "Array", "Array", -1, 0x4001, 1},
            {3, "int", "size", 4, 1},
            {3, "char", "data", 1, 1},
            {1, "int", "m_Value", 4, 0}};
}

// MonoBehaviour's fields: m_Name after fields of fixed size, at byte 28.
inline std::vector<TreeField> ScriptTree() {
    return {{0, "MonoBehaviour", "Base", -1, 0},
            {1, "PPtr<GameObject>", "m_GameObject", 12, 0},
            {2, "int", "m_FileID", 4, 0},
            {2, "SInt64", "m_PathID", 8, 0},
            {1, "UInt8", "m_Enabled", 1, 0x4000},
            {1, "PPtr<MonoScript>", "m_Script", 12, 0},
            {2, "int", "m_FileID", 4, 0},
            {2, "SInt64", "m_PathID", 8, 0},
            {1, "string", "m_Name", -1, 0x8000},
            {2, "Array", "Array", -1, 0x4001, 1},
            {3, "int", "size", 4, 1},
            {3, "char", "data", 1, 1}};
}

class SerializedFileBuilder {
public:
    explicit SerializedFileBuilder(std::uint32_t format, bool bigEndian = false)
        : format_(format), big_(bigEndian) {}

    SerializedFileBuilder& Trees(bool keep) {
        trees_ = keep;
        return *this;
    }
    // Returns the type's index in the list.
    std::uint32_t AddType(std::int32_t classId, std::vector<TreeField> tree = {}) {
        types_.push_back({classId, std::move(tree)});
        return static_cast<std::uint32_t>(types_.size() - 1);
    }
    SerializedFileBuilder& AddObject(std::int64_t pathId, std::uint32_t type, const Bytes& data) {
        objects_.push_back({pathId, type, data});
        return *this;
    }
    SerializedFileBuilder& AddExternal(const std::string& path) {
        externals_.push_back(path);
        return *this;
    }
    // m_Name as the file stores it: the length in the file's byte order, the text, padding.
    Bytes Name(const std::string& name) const {
        Bytes out;
        Put(out, name.size(), 4);
        out.insert(out.end(), name.begin(), name.end());
        out.resize((out.size() + 3) / 4 * 4, 0);
        return out;
    }

    Bytes Build() const {
        const std::uint32_t f = format_;
        const std::size_t headerSize = f >= 22 ? 48 : 20;
        Bytes out(headerSize, 0);
        Text(out, "2021.3.18f1");
        Put(out, 19, 4);
        if (f >= 13) {
            out.push_back(trees_ ? 1 : 0);
        }
        Put(out, types_.size(), 4);
        for (std::size_t t = 0; t < types_.size(); ++t) {
            const std::int32_t id = types_[t].classId;
            Put(out, static_cast<std::uint32_t>(id), 4);
            if (f >= 16) {
                out.push_back(0);
            }
            if (f >= 17) {
                Put(out, id == 114 ? 0 : 0xFFFF, 2);
            }
            if (f >= 13) {
                const bool script = (f < 16 && id < 0) || (f >= 16 && id == 114);
                out.insert(out.end(), script ? 32 : 16, static_cast<std::uint8_t>(0xA0 + t));
            }
            if (trees_) {
                (f == 10 || f >= 12) ? Blob(out, types_[t].tree) : Recursive(out, types_[t].tree);
                if (f >= 21) {
                    Put(out, 0, 4);
                }
            }
        }
        if (f >= 7 && f < 14) {
            Put(out, 0, 4);
        }
        std::vector<std::uint64_t> offsets;
        std::uint64_t next = 0;
        for (const Object& o : objects_) {
            next = (next + 7) / 8 * 8;
            offsets.push_back(next);
            next += o.data.size();
        }
        Put(out, objects_.size(), 4);
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            const Object& o = objects_[i];
            const std::int32_t id = types_[o.type].classId;
            if (f >= 14) {
                out.resize((out.size() + 3) / 4 * 4, 0);
            }
            Put(out, static_cast<std::uint64_t>(o.pathId), f >= 14 ? 8 : 4);
            Put(out, offsets[i], f >= 22 ? 8 : 4);
            Put(out, o.data.size(), 4);
            Put(out, f >= 16 ? o.type : static_cast<std::uint32_t>(id), 4);
            if (f < 16) {
                Put(out, id < 0 ? 114 : static_cast<std::uint32_t>(id), 2);
            }
            if (f < 11) {
                Put(out, 0, 2);
            }
            if (f >= 11 && f < 17) {
                Put(out, 0xFFFF, 2);
            }
            if (f == 15 || f == 16) {
                out.push_back(0);
            }
        }
        if (f >= 11) {
            Put(out, 0, 4);  // script types
        }
        Put(out, externals_.size(), 4);
        for (const std::string& path : externals_) {
            out.push_back(0);
            out.insert(out.end(), 16, 0x5E);
            Put(out, 3, 4);
            Text(out, path);
        }
        if (f >= 20) {
            Put(out, 0, 4);  // reference types
        }
        Text(out, "");
        const std::uint64_t metadataSize = out.size() - headerSize;
        const std::uint64_t dataOffset = (out.size() + 15) / 16 * 16;
        const std::uint64_t fileSize = dataOffset + next;
        out.resize(fileSize, 0);
        for (std::size_t i = 0; i < objects_.size(); ++i) {
            std::copy(objects_[i].data.begin(), objects_[i].data.end(),
                      out.begin() + static_cast<std::ptrdiff_t>(dataOffset + offsets[i]));
        }
        // The header is big-endian whatever the file's byte order.
        Bytes header;
        PutBig32(header, f >= 22 ? 0 : static_cast<std::uint32_t>(metadataSize));
        PutBig32(header, f >= 22 ? 0 : static_cast<std::uint32_t>(fileSize));
        PutBig32(header, f);
        PutBig32(header, f >= 22 ? 0 : static_cast<std::uint32_t>(dataOffset));
        header.insert(header.end(), {static_cast<std::uint8_t>(big_ ? 1 : 0), 0, 0, 0});
        if (f >= 22) {
            PutBig32(header, static_cast<std::uint32_t>(metadataSize));
            for (std::uint64_t v : {fileSize, dataOffset, std::uint64_t{0}}) {
                PutBig32(header, static_cast<std::uint32_t>(v >> 32));
                PutBig32(header, static_cast<std::uint32_t>(v));
            }
        }
        std::copy(header.begin(), header.end(), out.begin());
        return out;
    }

private:
    struct Type {
        std::int32_t classId;
        std::vector<TreeField> tree;
    };
    struct Object {
        std::int64_t pathId;
        std::uint32_t type;
        Bytes data;
    };

    void Put(Bytes& out, std::uint64_t v, int width) const {
        for (int i = 0; i < width; ++i) {
            const int shift = 8 * (big_ ? width - 1 - i : i);
            out.push_back(static_cast<std::uint8_t>(v >> shift));
        }
    }
    static void Text(Bytes& out, const std::string& text) {
        out.insert(out.end(), text.begin(), text.end());
        out.push_back(0);
    }
    // Some strings by their place in the engine's common string table (bit 31 set).
    static std::uint32_t Common(const std::string& s) {
        const std::pair<const char*, std::uint32_t> known[] = {
            {"Array", 49}, {"Base", 55},    {"char", 81},  {"data", 106},
            {"int", 222},  {"m_Name", 427}, {"size", 795}, {"string", 840}};
        for (const auto& [text, offset] : known) {
            if (s == text) {
                return 0x80000000u | offset;
            }
        }
        return 0;
    }
    void Blob(Bytes& out, const std::vector<TreeField>& tree) const {
        Bytes strings;
        Bytes nodes;
        auto offset = [&](const std::string& s) -> std::uint64_t {
            if (std::uint32_t common = Common(s)) {
                return common;
            }
            const std::uint64_t at = strings.size();
            Text(strings, s);
            return at;
        };
        for (std::size_t i = 0; i < tree.size(); ++i) {
            const TreeField& n = tree[i];
            Put(nodes, 1, 2);
            nodes.push_back(n.level);
            nodes.push_back(n.typeFlags);
            Put(nodes, offset(n.type), 4);
            Put(nodes, offset(n.name), 4);
            Put(nodes, static_cast<std::uint32_t>(n.byteSize), 4);
            Put(nodes, i, 4);
            Put(nodes, n.metaFlag, 4);
            if (format_ >= 19) {
                Put(nodes, 0, 8);
            }
        }
        Put(out, tree.size(), 4);
        Put(out, strings.size(), 4);
        out.insert(out.end(), nodes.begin(), nodes.end());
        out.insert(out.end(), strings.begin(), strings.end());
    }
    void Recursive(Bytes& out, const std::vector<TreeField>& tree) const {
        for (std::size_t i = 0; i < tree.size(); ++i) {
            const TreeField& n = tree[i];
            std::uint32_t children = 0;
            for (std::size_t k = i + 1; k < tree.size() && tree[k].level > n.level; ++k) {
                children += tree[k].level == n.level + 1 ? 1 : 0;
            }
            Text(out, n.type);
            Text(out, n.name);
            Put(out, static_cast<std::uint32_t>(n.byteSize), 4);
            Put(out, i, 4);
            Put(out, n.typeFlags, 4);
            Put(out, 1, 4);
            Put(out, n.metaFlag, 4);
            Put(out, children, 4);
        }
    }

    std::uint32_t format_;
    bool big_;
    bool trees_ = true;
    std::vector<Type> types_;
    std::vector<Object> objects_;
    std::vector<std::string> externals_;
};

}  // namespace kestrova::testing
