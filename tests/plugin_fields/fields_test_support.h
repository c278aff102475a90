#pragma once
// A sample object for the Fields plug-in's tests: its type tree, its name prefix and body as the
// host hands them over, and the context the host gives with them.

#include <cstdint>

#include "editor/plugins/plugin_context.h"
#include "tests/plugin_sdk/field_test_support.h"

namespace kestrova::testing {

struct SampleObject {
    TypeTree tree;
    Bytes prefix;  // m_Name, which the host keeps apart
    Bytes body;

    // The context the host gives for it (with no tree when `withTree` is false).
    AssetContext Context(bool withTree = true) const {
        AssetContext context;
        context.formatVersion = 17;
        context.classId = 114;
        context.pathId = 9;
        context.namePrefix = prefix;
        if (withTree) {
            context.typeTree = tree;
        }
        return context;
    }
};

// m_Name, m_Script (a reference), m_Count, m_Speed, m_Label, m_On, m_Blob (TypelessData) and
// m_Values (`valueCount` floats: 0, 1, 2, ...).
inline SampleObject Sample(std::uint32_t valueCount = 3) {
    TreeBuilder b;
    b.Add(0, "MonoBehaviour", "Base").String(1, "m_Name");
    b.Add(1, "PPtr<MonoScript>", "m_Script").Add(2, "int", "m_FileID").Add(2, "SInt64", "m_PathID");
    b.Add(1, "int", "m_Count").Add(1, "float", "m_Speed").String(1, "m_Label");
    b.Add(1, "bool", "m_On", true);
    b.Add(1, "TypelessData", "m_Blob", true).Add(2, "int", "size").Add(2, "UInt8", "data");
    b.Vector(1, "m_Values", "float");
    SampleObject sample;
    sample.tree = b.Build();
    sample.prefix = ObjectBuilder().Str("Obj").Build();
    ObjectBuilder body;
    body.I32(0).I64(5).I32(7).F32(1.5f).Str("label").U8(1).Align();
    body.I32(3)
        .Raw(std::string_view("\x01\xab\x00", 3))
        .Align()
        .I32(static_cast<std::int32_t>(valueCount));
    for (std::uint32_t i = 0; i < valueCount; ++i) {
        body.F32(static_cast<float>(i));
    }
    sample.body = body.Build();
    return sample;
}

}  // namespace kestrova::testing
