// For the Wine tests, built for Windows: the common library's directory scan as Windows runs it.
//   directory_scan_probe FOLDER EXTENSION
// prints every path ScanDirectory lists, one a line in UTF-8.

#include <fcntl.h>
#include <io.h>

#include <cstdio>
#include <string>

#include "common/directory_scan.h"
#include "common/text.h"

int wmain(int argc, wchar_t** argv) {
    if (argc != 3) {
        return 1;
    }
    auto wide = [](const wchar_t* text) {
        return std::u16string(reinterpret_cast<const char16_t*>(text));
    };
    kestrova::StringList list;
    kestrova::ScanDirectory(list, wide(argv[1]), wide(argv[2]));
    ::_setmode(::_fileno(stdout), _O_BINARY);
    for (std::uint32_t i = 0; i < list.count(); ++i) {
        const std::string line = kestrova::Utf16ToUtf8(list.at(i)) + "\n";
        std::fwrite(line.data(), 1, line.size(), stdout);
    }
    return 0;
}
