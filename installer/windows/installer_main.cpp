// The installer template program. Packaging appends a mod to a copy of it; run, it finds that mod
// after its own program image and installs it into a game folder, with a window or silently.

#include <string>

#include "common/platform.h"
#include "common/text.h"
#include "common/win32_api.h"
#include "installer/core/installer_command.h"
#include "installer/core/mod_apply.h"
#include "installer/windows/installer_window.h"

// COM, for the folder chooser (after the Windows header).
#include <objbase.h>

namespace {

using kestrova::installer::InstallerCommand;

// One line on standard error, when there is one to write to (a window program has none unless
// it was started with one). A console takes the wide text as it is, since it would read bytes in
// its own code page, which cannot spell most folder names; a pipe or a file gets UTF-8.
void WriteError(const std::u16string& line) {
    HANDLE error = ::GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) {
        return;
    }
    const std::u16string text = u"installer: " + line + u"\n";
    DWORD written = 0;
    DWORD mode = 0;
    if (::GetConsoleMode(error, &mode) != 0) {
        ::WriteConsoleW(error, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const std::string bytes = kestrova::Utf16ToUtf8(text);
    ::WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
    const std::u16string commandLine(reinterpret_cast<const char16_t*>(::GetCommandLineW()));
    const InstallerCommand command =
        kestrova::installer::ParseInstallerArguments(kestrova::installer::ArgumentsOf(commandLine));
    const std::u16string self =
        kestrova::platform::ModulePath(reinterpret_cast<const void*>(&WriteError));
    if (command.silent) {
        const kestrova::installer::SilentResult result =
            kestrova::installer::RunSilently(self, command);
        if (result.status != kestrova::installer::kSucceeded) {
            WriteError(result.message);
        }
        return result.status;
    }
    kestrova::installer::ModSource source;
    if (kestrova::Outcome o = source.Open(self); !o) {
        ::MessageBoxW(nullptr, reinterpret_cast<const wchar_t*>(o.message.c_str()), L"Installer",
                      MB_OK | MB_ICONERROR);
        return kestrova::installer::kNoModError;
    }
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);  // for the folder chooser
    const int status =
        kestrova::installer::RunInstallerWindow(instance, source, command.folder.value_or(u""));
    ::CoUninitialize();
    return status;
}
