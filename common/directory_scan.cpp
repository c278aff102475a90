#include "directory_scan.h"

#include <algorithm>
#include <vector>

#include "platform.h"
#include "text.h"

namespace kestrova {

namespace {

// What a name-matching wildcard "*.ext" would offer: names ending in ".ext" in any case, or, for an
// empty extension, names without any dot.
bool IsCandidate(std::u16string_view name, std::u16string_view extension) {
    if (extension.empty()) {
        return name.find(u'.') == std::u16string_view::npos;
    }
    if (name.size() < extension.size() + 1) {
        return false;
    }
    std::u16string_view tail = name.substr(name.size() - extension.size() - 1);
    return tail[0] == u'.' && CompareIgnoringAsciiCase(tail.substr(1), extension) == 0;
}

// The characters after the last dot; a leading dot marks a hidden name, not an extension.
std::u16string_view ExtensionOf(std::u16string_view name) {
    std::size_t dot = name.rfind(u'.');
    if (dot == std::u16string_view::npos || dot == 0) {
        return {};
    }
    return name.substr(dot + 1);
}

void ScanFolder(StringList& list, const std::u16string& folder, const std::u16string& extension,
                std::vector<std::u16string>& ancestors) {
    auto entries = platform::ListDirectory(folder);
    if (!entries) {
        return;
    }
    auto fullPath = [&](const std::u16string& name) {
        std::u16string path;
        path.reserve(folder.size() + 1 + name.size());
        path.append(folder).append(1, platform::kSeparator).append(name);
        return path;
    };
    auto fits = [&](const std::u16string& name) {
        return folder.size() + 1 + name.size() <= kStringSlotLength;
    };

    for (const auto& entry : *entries) {
        if (fits(entry.name) && IsCandidate(entry.name, extension) &&
            ExtensionOf(entry.name) == extension) {
            Add(list, fullPath(entry.name), 0, false, false);
        }
    }

    for (const auto& entry : *entries) {
        if (!entry.isFolder || !fits(entry.name)) {
            continue;
        }
        std::u16string sub = fullPath(entry.name);
        auto resolved = platform::ResolvedPath(sub);
        if (resolved.empty() ||
            std::find(ancestors.begin(), ancestors.end(), resolved) != ancestors.end()) {
            continue;
        }
        ancestors.push_back(std::move(resolved));
        ScanFolder(list, sub, extension, ancestors);
        ancestors.pop_back();
    }
}

}  // namespace

bool ScanDirectory(StringList& list, const std::u16string& folder,
                   const std::u16string& extension) {
    if (folder.size() > kStringSlotLength) {
        return true;
    }
    std::vector<std::u16string> ancestors;
    if (auto self = platform::ResolvedPath(folder); !self.empty()) {
        ancestors.push_back(std::move(self));
    }
    ScanFolder(list, folder, extension, ancestors);
    return true;
}

}  // namespace kestrova
