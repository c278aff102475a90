// Reads arbitrary bytes as an installation's journal; what reads names only paths inside the game
// folder, and written again it reads back the same.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "common/text.h"
#include "installer/core/install_journal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace kestrova;
    installer::InstallJournal journal;
    if (!installer::DecodeJournal(std::span(data, size), journal)) {
        return 0;
    }
    for (const installer::JournalFile& file : journal.files) {
        for (std::size_t start = 0; start <= file.path.size();) {
            std::size_t end = file.path.find_first_of(u"/\\", start);
            end = end == std::u16string::npos ? file.path.size() : end;
            const std::u16string_view name =
                std::u16string_view(file.path).substr(start, end - start);
            if (!IsPlainFileName(name) || name.find(u'\0') != std::u16string_view::npos) {
                std::abort();
            }
            start = end + 1;
        }
    }
    installer::InstallJournal again;
    if (!installer::DecodeJournal(installer::EncodeJournal(journal), again) || again != journal) {
        std::abort();
    }
    return 0;
}
