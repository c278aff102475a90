#include "document/bundle/node_export.h"

#include "common/platform.h"
#include "common/text.h"
#include "document/range_writer.h"

namespace kestrova::bundle {

Outcome SplitNodePath(std::string_view path, std::vector<std::u16string>& parts) {
    parts.clear();
    const std::u16string text = Latin1ToUtf16(path);
    auto refuse = [&](const char16_t* why) {
        return Outcome::Failure(u"The node path \"" + text + u"\" " + why +
                                u"; no node was written.");
    };
    if (text.empty()) {
        return refuse(u"is empty");
    }
    if (text.front() == u'/' || text.front() == u'\\') {
        return refuse(u"is absolute");
    }
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find_first_of(u"/\\", start);
        const std::u16string part = text.substr(start, end - start);
        if (part == u"..") {
            return refuse(u"leads out of the folder");
        }
        if (!IsPlainFileName(part)) {
            return refuse(u"has a part that cannot be a file name");
        }
        parts.push_back(part);
        if (end == std::u16string::npos) {
            return Outcome::Success();
        }
        start = end + 1;
    }
}

Outcome ExportNodes(const std::u16string& dataStream, const std::vector<BundleNode>& nodes,
                    const std::u16string& folder, std::vector<std::u16string>& written) {
    std::vector<std::vector<std::u16string>> paths(nodes.size());
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        if (Outcome o = SplitNodePath(nodes[i].path, paths[i]); !o) {
            return o;
        }
    }
    const FileDescriptor stream = FileDescriptor::OpenForReading(dataStream);
    if (!stream.valid()) {
        return Outcome::Failure(u"Cannot read the bundle's data " + dataStream + u".");
    }
    written.clear();
    for (std::size_t i = 0; i < nodes.size(); ++i) {
        const bool isFolder = (nodes[i].flags & kNodeDirectory) != 0;
        std::u16string path = folder;
        std::u16string shown;
        for (std::size_t p = 0; p < paths[i].size(); ++p) {
            path += platform::kSeparator + paths[i][p];
            shown += (p == 0 ? u"" : u"/") + paths[i][p];
            if (p + 1 < paths[i].size() || isFolder) {
                platform::CreateDirectory(path);
            }
        }
        if (!isFolder) {
            RangeWriter writer;
            if (!writer.CreateBeside(path) ||
                !writer.Copy(stream.get(), nodes[i].offset, 0, nodes[i].size) ||
                !writer.Commit(nodes[i].size)) {
                return Outcome::Failure(u"Cannot write " + path + u": " + writer.error());
            }
        }
        written.push_back(shown);
    }
    return Outcome::Success();
}

}  // namespace kestrova::bundle
