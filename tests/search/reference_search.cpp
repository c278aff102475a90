#include "reference_search.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/string_list.h"
#include "common/text.h"

namespace kestrova::testing {

namespace {

char FoldAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

std::int32_t Strtol32(const std::string& text) {
    long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (value > INT32_MAX) {
        return INT32_MAX;
    }
    if (value < INT32_MIN) {
        return INT32_MIN;
    }
    return static_cast<std::int32_t>(value);
}

std::uint32_t Strtoul32(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::strchr(" \t\n\v\f\r", text[i]) != nullptr && text[i] != 0) {
        ++i;
    }
    bool negative = i < text.size() && text[i] == '-';
    errno = 0;
    unsigned long long value = std::strtoull(text.c_str(), nullptr, 10);
    unsigned long long magnitude = negative ? 0ULL - value : value;
    if (errno == ERANGE || magnitude > 0xFFFFFFFFULL) {
        return 0xFFFFFFFFU;
    }
    return negative ? 0U - static_cast<std::uint32_t>(magnitude)
                    : static_cast<std::uint32_t>(magnitude);
}

bool Compare(const std::string& image, std::uint64_t p, const std::string& q, std::int32_t mode) {
    const std::uint64_t size = image.size();
    const std::size_t length = q.size();
    auto fits = [&](std::uint64_t width) { return p + width <= size; };
    const char* b = image.data() + p;
    switch (mode) {
        case 0:
            if (!fits(length)) {
                return false;
            }
            for (std::size_t k = 0; k < length; ++k) {
                if (FoldAscii(b[k]) != FoldAscii(q[k])) {
                    return false;
                }
            }
            return true;
        case 1:
            return fits(length) && std::memcmp(b, q.data(), length) == 0;
        case 2: {
            std::int32_t v = Strtol32(q);
            return fits(4) && std::memcmp(b, &v, 4) == 0;
        }
        case 3: {
            std::uint32_t v = Strtoul32(q);
            return fits(4) && std::memcmp(b, &v, 4) == 0;
        }
        case 4:
        case 5: {
            const std::size_t n = (length + 1) / 2;
            if (!fits(n)) {
                return false;
            }
            static const char digits[] = "0123456789ABCDEF";
            std::string text;
            for (std::size_t k = 0; k < n; ++k) {
                auto byte = static_cast<unsigned char>(mode == 4 ? b[k] : b[n - 1 - k]);
                text += digits[byte >> 4];
                text += digits[byte & 15];
            }
            for (std::size_t k = 0; k < length; ++k) {
                if (FoldAscii(text[k]) != FoldAscii(q[k])) {
                    return false;
                }
            }
            return true;
        }
        case 6: {
            float wanted = static_cast<float>(std::strtod(q.c_str(), nullptr));
            float have = 0;
            if (!fits(4)) {
                return false;
            }
            std::memcpy(&have, b, 4);
            return have == wanted;
        }
        case 7: {
            double wanted = std::strtod(q.c_str(), nullptr);
            double have = 0;
            if (!fits(8)) {
                return false;
            }
            std::memcpy(&have, b, 8);
            return have == wanted;
        }
        default:
            return false;
    }
}

}  // namespace

ReferenceResult ReferenceSearch(const std::string& image, const AssetFile& doc,
                                const std::u16string& query, std::int32_t mode) {
    ReferenceResult out;
    std::u16string cut = query.substr(0, query.find(u'\0'));
    std::string q;
    if (!Utf16ToLatin1(cut, q)) {
        out.refused = true;
        return out;
    }
    StringList list;
    const std::uint64_t size = image.size();
    const std::uint64_t base = doc.DataBase();
    for (std::uint64_t p = base; p < size; ++p) {
        if (Compare(image, p, q, mode)) {
            for (const AssetEntry& entry : doc.entries) {
                std::uint64_t start = base + entry.offset;
                if (start <= p && p < start + entry.size) {
                    Add(list, entry.name, entry.pathId, true, true);
                    p = start + entry.size - 1;
                    break;
                }
            }
        }
        double percent = static_cast<double>(p) / static_cast<double>(size) * 100.0;
        auto rounded = static_cast<float>(percent);
        if (std::fmod(rounded, 1.0f) == 0.0f) {
            char text[96];
            std::snprintf(text, sizeof text, "Number Found:%u\tPercent Searched:%lld%%",
                          list.count(), static_cast<long long>(rounded));
            std::u16string wide = Ascii(text);
            if (out.statusTexts.empty() || out.statusTexts.back() != wide) {
                out.statusTexts.push_back(wide);
            }
        }
    }
    for (std::uint32_t i = 0; i < list.count(); ++i) {
        out.results.emplace_back(list.at(i), list.tag(i));
    }
    return out;
}

}  // namespace kestrova::testing
