// For the Wine tests, built for Windows: drives the installer's window as a person would and
// watches whether it answers while it works.
//   installer_window_probe RESULTS INSTALLER FOLDER_TO_INSTALL FOLDER_TO_CLOSE_IN
// First it starts the installer for the first folder, presses Install and, until the work is
// over, sends the window a message every few milliseconds that it must answer within a few
// seconds, and reads its progress bar; then it confirms the closing message and closes the window.
// Second it starts the installer for the other folder, presses Install and closes the window as
// soon as the bar moves, and watches the window stay until the work has stopped. RESULTS receives
// "name value" lines as they are known ("working 1" once the bar first moved).

#include <windows.h>

#include <commctrl.h>

#include <cstdio>
#include <set>
#include <string>

namespace {

constexpr UINT kAnswerTimeout = 4000;  // milliseconds; far above a window that answers at all

std::FILE* results = nullptr;

void Result(const char* name, long value) {
    std::fprintf(results, "%s %ld\n", name, value);
    std::fflush(results);
}

struct Installer {
    PROCESS_INFORMATION process{};
    HWND window = nullptr;
    HWND install = nullptr;
    HWND bar = nullptr;
};

BOOL CALLBACK FindControl(HWND control, LPARAM parameter) {
    auto& installer = *reinterpret_cast<Installer*>(parameter);
    wchar_t type[64] = {};
    wchar_t text[64] = {};
    ::GetClassNameW(control, type, 64);
    ::GetWindowTextW(control, text, 64);
    if (std::wstring(type) == PROGRESS_CLASSW) {
        installer.bar = control;
    } else if (std::wstring(text) == L"Install") {
        installer.install = control;
    }
    return TRUE;
}

BOOL CALLBACK FindWindowOf(HWND window, LPARAM parameter) {
    auto& installer = *reinterpret_cast<Installer*>(parameter);
    wchar_t type[64] = {};
    DWORD process = 0;
    ::GetClassNameW(window, type, 64);
    ::GetWindowThreadProcessId(window, &process);
    if (std::wstring(type) == L"KestrovaModInstaller" && process == installer.process.dwProcessId) {
        installer.window = window;
        return FALSE;
    }
    return TRUE;
}

bool Start(Installer& installer, const std::wstring& program, const std::wstring& folder) {
    std::wstring line = L"\"" + program + L"\" \"/D=" + folder + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (!::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &installer.process)) {
        return false;
    }
    // Its own window, shown once all its controls are made; that may take a while on a busy
    // machine.
    for (int attempt = 0; attempt < 3600; ++attempt) {
        ::Sleep(50);
        ::EnumWindows(FindWindowOf, reinterpret_cast<LPARAM>(&installer));
        if (installer.window != nullptr && ::IsWindowVisible(installer.window)) {
            ::EnumChildWindows(installer.window, FindControl, reinterpret_cast<LPARAM>(&installer));
            return installer.install != nullptr && installer.bar != nullptr;
        }
    }
    return false;
}

bool Answers(HWND window) {
    DWORD_PTR answer = 0;
    return ::SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                                 kAnswerTimeout, &answer) != 0;
}

long Position(HWND bar) {
    DWORD_PTR position = 0;
    ::SendMessageTimeoutW(bar, PBM_GETPOS, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerTimeout,
                          &position);
    return static_cast<long>(position);
}

BOOL CALLBACK ConfirmMessageBox(HWND window, LPARAM) {
    wchar_t type[16] = {};
    ::GetClassNameW(window, type, 16);
    if (std::wstring(type) == L"#32770") {
        ::PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

long ExitStatus(Installer& installer) {
    DWORD status = 9999;
    if (::WaitForSingleObject(installer.process.hProcess, 60000) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(installer.process.hProcess, &status);
    }
    ::CloseHandle(installer.process.hProcess);
    ::CloseHandle(installer.process.hThread);
    return static_cast<long>(status);
}

// Installs and watches; the window must answer every message while the buttons are disabled.
void InstallWatching(const std::wstring& program, const std::wstring& folder) {
    Installer installer;
    if (!Start(installer, program, folder)) {
        Result("started", 0);
        return;
    }
    ::PostMessageW(installer.install, BM_CLICK, 0, 0);
    long answered = 0;
    long unanswered = 0;
    std::set<long> positions;
    bool working = false;
    for (int sample = 0; sample < 20000; ++sample) {
        ::Sleep(20);
        const bool busy = !::IsWindowEnabled(installer.install);
        (Answers(installer.window) ? answered : unanswered) += busy ? 1 : 0;
        const long position = Position(installer.bar);
        if (busy && position > 0) {
            positions.insert(position);
            if (!working) {
                working = true;
                Result("working", 1);
            }
        }
        if (!busy && (working || sample > 500)) {
            break;  // done, or it never started
        }
    }
    Result("answered", answered);
    Result("unanswered", unanswered);
    Result("positions", static_cast<long>(positions.size()));
    Result("final", Position(installer.bar));
    ::Sleep(500);
    ::EnumThreadWindows(installer.process.dwThreadId, ConfirmMessageBox, 0);
    ::Sleep(500);
    ::PostMessageW(installer.window, WM_CLOSE, 0, 0);
    Result("exit", ExitStatus(installer));
}

// Closes the window while it works: it stays, answering, until the work has stopped.
void CloseWhileWorking(const std::wstring& program, const std::wstring& folder) {
    Installer installer;
    if (!Start(installer, program, folder)) {
        Result("close-started", 0);
        return;
    }
    ::PostMessageW(installer.install, BM_CLICK, 0, 0);
    for (int sample = 0; sample < 20000 && Position(installer.bar) == 0; ++sample) {
        ::Sleep(20);
    }
    DWORD_PTR answer = 0;
    const bool handled =
        ::SendMessageTimeoutW(installer.window, WM_CLOSE, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK,
                              kAnswerTimeout, &answer) != 0;
    Result("stayed", handled && ::IsWindow(installer.window) ? 1 : 0);
    Result("close-exit", ExitStatus(installer));
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 5 || (results = ::_wfopen(argv[1], L"w")) == nullptr) {
        return 1;
    }
    InstallWatching(argv[2], argv[3]);
    CloseWhileWorking(argv[2], argv[4]);
    Result("done", 1);
    std::fclose(results);
    return 0;
}
