#include "installer/windows/installer_window.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <memory>
#include <vector>

#include "common/platform.h"
#include "common/text.h"
#include "installer/core/installer_command.h"

namespace kestrova::installer {

namespace {

constexpr wchar_t kClassName[] = L"KestrovaModInstaller";
constexpr int kIconGroup = 102;
constexpr int kMargin = 12;
constexpr int kLabelWidth = 96;
constexpr int kButtonWidth = 100;
constexpr int kClientWidth = 580;

constexpr int kProgressSteps = 1000;

enum ControlId : int {
    kFolderBox = 100,
    kBrowseButton,
    kInstallButton,
    kUninstallButton,
    kCloseButton,
};

// What the worker thread posts to the window: a report (the fraction in thousandths as wParam,
// the text as an owned std::u16string* in lParam), and its end.
constexpr UINT kProgressMessage = WM_APP + 1;
constexpr UINT kDoneMessage = WM_APP + 2;

const wchar_t* Wide(const std::u16string& text) {
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

std::u16string WindowText(HWND window) {
    std::u16string text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, u'\0');
    int n = ::GetWindowTextW(window, reinterpret_cast<wchar_t*>(text.data()),
                             static_cast<int>(text.size()));
    text.resize(static_cast<std::size_t>(std::max(n, 0)));
    return text;
}

// Edit controls break lines only at CR LF.
std::u16string WithCrLf(const std::u16string& text) {
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            out += u'\r';
        }
        out += text[i];
    }
    return out;
}

// The mod's folder on every drive where it exists; on every drive when it exists on none.
std::vector<std::u16string> ProposedFolders(const ravelin::ModRecord& mod) {
    if (mod.directory.empty() || mod.directory == ravelin::kNotSet) {
        return {};
    }
    std::vector<wchar_t> drives(1024, L'\0');
    DWORD n = ::GetLogicalDriveStringsW(static_cast<DWORD>(drives.size() - 1), drives.data());
    std::vector<std::u16string> existing;
    std::vector<std::u16string> all;
    for (DWORD at = 0; n != 0 && at < n && at < drives.size() && drives[at] != L'\0';) {
        std::u16string drive(reinterpret_cast<const char16_t*>(drives.data() + at));
        at += static_cast<DWORD>(drive.size()) + 1;
        std::u16string folder = GameFolderOn(drive, mod.directory);
        if (platform::FileExists(folder)) {
            existing.push_back(folder);
        }
        all.push_back(std::move(folder));
    }
    return existing.empty() ? all : existing;
}

// An installation or undo on a worker thread. The window starts it, hears of its progress and
// its end through posted messages, and reads its result only after the thread has ended.
struct Job {
    HWND window = nullptr;
    const ModSource* source = nullptr;
    std::u16string folder;
    bool undo = false;
    std::atomic<bool> cancel{false};
    DWORD slowMilliseconds = 0;
    HANDLE thread = nullptr;
    Outcome result;
    ApplyReport report;
};

// For tests: KESTROVA_SLOW_PROGRESS_MS=N makes the worker wait N milliseconds after each report,
// so that even a small mod takes long enough to watch the window while it works.
DWORD SlowReportsForTests() {
    wchar_t value[16] = {};
    const DWORD n = ::GetEnvironmentVariableW(L"KESTROVA_SLOW_PROGRESS_MS", value, 16);
    return n > 0 && n < 16 ? static_cast<DWORD>(std::wcstoul(value, nullptr, 10)) : 0;
}

DWORD WINAPI RunJob(void* parameter) {
    Job& job = *static_cast<Job*>(parameter);
    ProgressCallback progress = [&job](std::u16string_view text, float fraction) {
        auto* posted = new std::u16string(text);
        const auto steps = static_cast<WPARAM>(fraction * kProgressSteps);
        if (::PostMessageW(job.window, kProgressMessage, steps, reinterpret_cast<LPARAM>(posted)) ==
            0) {
            delete posted;
        }
        if (job.slowMilliseconds > 0) {
            ::Sleep(job.slowMilliseconds);
        }
    };
    const ravelin::ModRecord& mod = job.source->mod();
    job.result = job.undo ? UninstallMod(mod, job.folder, &job.report, progress)
                          : InstallMod(mod, job.source->payload(), job.folder, &job.report,
                                       {progress, &job.cancel, {}});
    ::PostMessageW(job.window, kDoneMessage, 0, 0);
    return 0;
}

struct WindowState {
    const ModSource* source = nullptr;
    std::u16string initialFolder;
    HFONT font = nullptr;
    HFONT titleFont = nullptr;
    HWND folderBox = nullptr;
    HWND status = nullptr;
    HWND progressBar = nullptr;
    HWND closeButton = nullptr;
    std::vector<HWND> buttons;  // those that would conflict with a running job
    std::u16string title;
    std::unique_ptr<Job> job;
    bool closing = false;  // the window closes once the job has ended
};

HFONT MessageFont(int scale) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    ::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
    if (scale > 1) {
        metrics.lfMessageFont.lfHeight = metrics.lfMessageFont.lfHeight * 4 / 3;
        metrics.lfMessageFont.lfWeight = FW_BOLD;
    }
    return ::CreateFontIndirectW(&metrics.lfMessageFont);
}

HWND AddControl(HWND parent, const wchar_t* type, const std::u16string& text, DWORD style, RECT box,
                int id, HFONT font, DWORD exStyle = 0) {
    HWND control = ::CreateWindowExW(
        exStyle, type, Wide(text), WS_CHILD | WS_VISIBLE | style, box.left, box.top,
        box.right - box.left, box.bottom - box.top, parent,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
        reinterpret_cast<HINSTANCE>(::GetWindowLongPtrW(parent, GWLP_HINSTANCE)), nullptr);
    ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    return control;
}

int TextHeight(HWND window, HFONT font) {
    HDC dc = ::GetDC(window);
    HGDIOBJ old = ::SelectObject(dc, font);
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(dc, &metrics);
    ::SelectObject(dc, old);
    ::ReleaseDC(window, dc);
    return metrics.tmHeight;
}

void CreateControls(HWND window, WindowState& s) {
    const ravelin::ModRecord& mod = s.source->mod();
    s.font = MessageFont(1);
    s.titleFont = MessageFont(2);
    const int line = TextHeight(window, s.font);
    const int row = std::max(24, line + 10);
    const int right = kClientWidth - kMargin;
    const int valueLeft = kMargin + kLabelWidth;
    int y = kMargin;

    AddControl(window, L"STATIC", mod.name, SS_LEFT | SS_NOPREFIX,
               {kMargin, y, right, y + TextHeight(window, s.titleFont) + 4}, -1, s.titleFont);
    y += TextHeight(window, s.titleFont) + 12;
    const std::pair<const char16_t*, const std::u16string*> fields[] = {
        {u"Version:", &mod.version}, {u"Author:", &mod.author}, {u"Date:", &mod.date}};
    for (const auto& [label, value] : fields) {
        AddControl(window, L"STATIC", label, SS_LEFT, {kMargin, y, valueLeft, y + line + 2}, -1,
                   s.font);
        AddControl(window, L"STATIC", *value, SS_LEFT | SS_NOPREFIX | SS_ENDELLIPSIS,
                   {valueLeft, y, right, y + line + 2}, -1, s.font);
        y += line + 8;
    }
    AddControl(window, L"STATIC", u"Description:", SS_LEFT, {kMargin, y, valueLeft, y + line + 2},
               -1, s.font);
    const int descriptionHeight = 7 * line + 8;
    AddControl(window, L"EDIT", WithCrLf(mod.description),
               ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_TABSTOP,
               {valueLeft, y, right, y + descriptionHeight}, -1, s.font, WS_EX_CLIENTEDGE);
    y += descriptionHeight + 14;

    AddControl(window, L"STATIC", u"Game folder:", SS_LEFT,
               {kMargin, y + (row - line) / 2, valueLeft, y + row}, -1, s.font);
    s.folderBox = AddControl(
        window, L"COMBOBOX", u"", CBS_DROPDOWN | CBS_AUTOHSCROLL | WS_VSCROLL | WS_TABSTOP,
        {valueLeft, y, right - kButtonWidth - 8, y + row + 160}, kFolderBox, s.font);
    s.buttons.push_back(s.folderBox);
    s.buttons.push_back(AddControl(window, L"BUTTON", u"Browse...", BS_PUSHBUTTON | WS_TABSTOP,
                                   {right - kButtonWidth, y, right, y + row}, kBrowseButton,
                                   s.font));
    std::vector<std::u16string> proposals;
    if (!s.initialFolder.empty()) {
        proposals.push_back(s.initialFolder);
    }
    for (std::u16string& folder : ProposedFolders(mod)) {
        if (std::find(proposals.begin(), proposals.end(), folder) == proposals.end()) {
            proposals.push_back(std::move(folder));
        }
    }
    for (const std::u16string& folder : proposals) {
        ::SendMessageW(s.folderBox, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Wide(folder)));
    }
    ::SendMessageW(s.folderBox, CB_SETCURSEL, 0, 0);
    y += row + 12;

    const std::u16string hint =
        mod.verifyFile.empty() || mod.verifyFile == ravelin::kNotSet
            ? u"Choose the game's folder."
            : u"Choose the game's folder (the one that holds " + mod.verifyFile + u").";
    s.status = AddControl(window, L"STATIC", hint, SS_LEFT | SS_NOPREFIX,
                          {kMargin, y, right, y + 2 * line + 4}, -1, s.font);
    y += 2 * line + 8;
    s.progressBar = AddControl(window, PROGRESS_CLASSW, u"", 0,
                               {kMargin, y, right, y + row * 2 / 3}, -1, s.font);
    ::SendMessageW(s.progressBar, PBM_SETRANGE32, 0, kProgressSteps);
    y += row * 2 / 3 + 12;

    const std::pair<const char16_t*, int> buttons[] = {
        {u"Install", kInstallButton}, {u"Uninstall", kUninstallButton}, {u"Close", kCloseButton}};
    int x = right - 3 * kButtonWidth - 16;
    for (const auto& [text, id] : buttons) {
        const DWORD style = (id == kInstallButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
        HWND button = AddControl(window, L"BUTTON", text, style,
                                 {x, y, x + kButtonWidth, y + row + 4}, id, s.font);
        if (id == kCloseButton) {
            s.closeButton = button;
        } else {
            s.buttons.push_back(button);
        }
        x += kButtonWidth + 8;
    }
    y += row + 4 + kMargin;

    // The window takes the size its controls need, in the middle of the screen.
    RECT frame{0, 0, kClientWidth, y};
    ::AdjustWindowRectEx(&frame, static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE)), FALSE,
                         static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE)));
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    ::SetWindowPos(window, nullptr, (::GetSystemMetrics(SM_CXSCREEN) - width) / 2,
                   (::GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height,
                   SWP_NOZORDER | SWP_NOACTIVATE);
}

void ChooseFolder(HWND window, WindowState& s) {
    BROWSEINFOW info{};
    info.hwndOwner = window;
    info.lpszTitle = L"Choose the game's folder";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    PIDLIST_ABSOLUTE chosen = ::SHBrowseForFolderW(&info);
    if (chosen == nullptr) {
        return;  // cancelled
    }
    std::vector<wchar_t> path(MAX_PATH + 1, L'\0');
    if (::SHGetPathFromIDListW(chosen, path.data())) {
        ::SetWindowTextW(s.folderBox, path.data());
    }
    ::CoTaskMemFree(chosen);
}

void SetStatus(WindowState& s, const std::u16string& text) {
    ::SetWindowTextW(s.status, Wide(text));
}

// Starts installing (or undoing) on a worker thread. The controls that would conflict are
// disabled until it ends; Close becomes Cancel while an installation can still be stopped.
void Start(HWND window, WindowState& s, bool undo) {
    std::u16string folder = WindowText(s.folderBox);
    while (!folder.empty() && (folder.back() == u' ' || folder.back() == u'\\')) {
        folder.pop_back();
    }
    if (folder.size() == 2 && folder[1] == u':') {
        folder += u'\\';  // a drive's own folder
    }
    auto job = std::make_unique<Job>();
    job->window = window;
    job->source = s.source;
    job->folder = folder;
    job->undo = undo;
    job->slowMilliseconds = SlowReportsForTests();
    job->thread = ::CreateThread(nullptr, 0, RunJob, job.get(), 0, nullptr);
    if (job->thread == nullptr) {
        ::MessageBoxW(window, L"The installation could not be started.", Wide(s.title),
                      MB_OK | MB_ICONWARNING);
        return;
    }
    s.job = std::move(job);
    for (HWND control : s.buttons) {
        ::EnableWindow(control, FALSE);
    }
    ::SetWindowTextW(s.closeButton, L"Cancel");
    ::EnableWindow(s.closeButton, undo ? FALSE : TRUE);
    ::SendMessageW(s.progressBar, PBM_SETPOS, 0, 0);
}

// Asks a running installation to stop at its next safe point; undoing is not stopped.
void RequestCancel(WindowState& s, const std::u16string& why) {
    if (!s.job->undo) {
        s.job->cancel = true;
        ::EnableWindow(s.closeButton, FALSE);
    }
    SetStatus(s, why);
}

void Finish(HWND window, WindowState& s) {
    ::WaitForSingleObject(s.job->thread, INFINITE);
    ::CloseHandle(s.job->thread);
    const std::unique_ptr<Job> job = std::move(s.job);
    if (s.closing) {
        ::DestroyWindow(window);
        return;
    }
    for (HWND control : s.buttons) {
        ::EnableWindow(control, TRUE);
    }
    ::SetWindowTextW(s.closeButton, L"Close");
    ::EnableWindow(s.closeButton, TRUE);
    const Outcome& done = job->result;
    if (job->report.cancelled) {
        ::SendMessageW(s.progressBar, PBM_SETPOS, 0, 0);
        SetStatus(s, kInstallCancelled);
        return;
    }
    const ravelin::ModRecord& mod = s.source->mod();
    std::u16string message;
    if (done) {
        message = job->undo
                      ? u"The game's files in " + job->folder + u" are as they were before the mod."
                      : mod.name + u" is installed in " + job->folder +
                            u". The files it changed were kept as NAME.bak the first time.";
        for (const std::u16string& note : job->report.notes) {
            message += u"\n" + note;
        }
    } else {
        ::SendMessageW(s.progressBar, PBM_SETPOS, 0, 0);
        message = done.message;
    }
    if (!job->report.recovery.empty()) {
        message = job->report.recovery + u"\n\n" + message;  // what the run stopped before left
    }
    SetStatus(s, done ? message : std::u16string(u"Nothing was changed."));
    ::MessageBoxW(window, Wide(message), Wide(s.title),
                  done ? MB_OK | MB_ICONINFORMATION : MB_OK | MB_ICONWARNING);
}

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* s = reinterpret_cast<WindowState*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
        case WM_CREATE: {
            auto* create = reinterpret_cast<CREATESTRUCTW*>(lParam);
            s = static_cast<WindowState*>(create->lpCreateParams);
            ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(s));
            CreateControls(window, *s);
            return 0;
        }
        case WM_CTLCOLORSTATIC:
            // Labels on the window's own background, not the grey of dialogs.
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            return reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_WINDOW));
        case WM_COMMAND:
            if (s == nullptr) {
                break;
            }
            switch (LOWORD(wParam)) {
                case kBrowseButton:
                    ChooseFolder(window, *s);
                    return 0;
                case kInstallButton:
                case kUninstallButton:
                    if (!s->job) {
                        Start(window, *s, LOWORD(wParam) == kUninstallButton);
                    }
                    return 0;
                case kCloseButton:
                case IDCANCEL:
                    if (!s->job) {
                        ::DestroyWindow(window);
                    } else if (::IsWindowEnabled(s->closeButton)) {
                        RequestCancel(*s, u"Cancelling at the next safe point...");
                    }
                    return 0;
                default:
                    break;
            }
            break;
        case kProgressMessage: {
            const std::unique_ptr<std::u16string> text(reinterpret_cast<std::u16string*>(lParam));
            if (s != nullptr && s->job && !s->closing && !s->job->cancel) {
                if (WindowText(s->status) != *text) {
                    SetStatus(*s, *text);
                }
                ::SendMessageW(s->progressBar, PBM_SETPOS, wParam, 0);
            }
            return 0;
        }
        case kDoneMessage:
            if (s != nullptr && s->job) {
                Finish(window, *s);
            }
            return 0;
        case WM_CLOSE:
            // A running job is never left half-way: the window closes at its next safe point.
            if (s != nullptr && s->job) {
                s->closing = true;
                RequestCancel(*s, u"Stopping at a safe point; the window closes then.");
                return 0;
            }
            break;
        case WM_DESTROY:
            ::PostQuitMessage(0);
            return 0;
        default:
            break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

int RunInstallerWindow(HINSTANCE instance, const ModSource& source, const std::u16string& folder) {
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    WindowState state;
    state.source = &source;
    state.initialFolder = folder;
    state.title = source.mod().name + u" - Installer";

    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = WindowProcedure;
    type.hInstance = instance;
    type.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(kIconGroup));
    type.hIconSm = static_cast<HICON>(::LoadImageW(instance, MAKEINTRESOURCEW(kIconGroup),
                                                   IMAGE_ICON, ::GetSystemMetrics(SM_CXSMICON),
                                                   ::GetSystemMetrics(SM_CYSMICON), 0));
    type.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = ::GetSysColorBrush(COLOR_WINDOW);
    type.lpszClassName = kClassName;
    if (::RegisterClassExW(&type) == 0) {
        return kInstallError;
    }
    HWND window = ::CreateWindowExW(
        0, kClassName, Wide(state.title), WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
        CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth, 400, nullptr, nullptr, instance, &state);
    if (window == nullptr) {
        return kInstallError;
    }
    ::ShowWindow(window, SW_SHOWNORMAL);
    ::UpdateWindow(window);
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!::IsDialogMessageW(window, &message)) {
            ::TranslateMessage(&message);
            ::DispatchMessageW(&message);
        }
    }
    ::DeleteObject(state.font);
    ::DeleteObject(state.titleFont);
    return kSucceeded;
}

}  // namespace kestrova::installer
