#include "installer/windows/installer_window.h"

#include <shlobj.h>

#include <algorithm>
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

enum ControlId : int {
    kFolderBox = 100,
    kBrowseButton,
    kInstallButton,
    kUninstallButton,
    kCloseButton,
};

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

struct WindowState {
    const ModSource* source = nullptr;
    std::u16string initialFolder;
    HFONT font = nullptr;
    HFONT titleFont = nullptr;
    HWND folderBox = nullptr;
    HWND status = nullptr;
    std::vector<HWND> buttons;
    std::u16string title;
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
    y += 2 * line + 16;

    const std::pair<const char16_t*, int> buttons[] = {
        {u"Install", kInstallButton}, {u"Uninstall", kUninstallButton}, {u"Close", kCloseButton}};
    int x = right - 3 * kButtonWidth - 16;
    for (const auto& [text, id] : buttons) {
        const DWORD style = (id == kInstallButton ? BS_DEFPUSHBUTTON : BS_PUSHBUTTON) | WS_TABSTOP;
        s.buttons.push_back(AddControl(window, L"BUTTON", text, style,
                                       {x, y, x + kButtonWidth, y + row + 4}, id, s.font));
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

void Apply(HWND window, WindowState& s, bool undo) {
    std::u16string folder = WindowText(s.folderBox);
    while (!folder.empty() && (folder.back() == u' ' || folder.back() == u'\\')) {
        folder.pop_back();
    }
    if (folder.size() == 2 && folder[1] == u':') {
        folder += u'\\';  // a drive's own folder
    }
    for (HWND button : s.buttons) {
        ::EnableWindow(button, FALSE);
    }
    ::SetCursor(::LoadCursorW(nullptr, IDC_WAIT));
    ApplyProgress progress = [&](std::u16string_view text) {
        ::SetWindowTextW(s.status, Wide(std::u16string(text)));
        ::UpdateWindow(s.status);
    };
    const ravelin::ModRecord& mod = s.source->mod();
    ApplyReport report;
    Outcome done = undo ? UninstallMod(mod, folder, &report)
                        : InstallMod(mod, s.source->payload(), folder, progress, &report);
    for (HWND button : s.buttons) {
        ::EnableWindow(button, TRUE);
    }
    ::SetCursor(::LoadCursorW(nullptr, IDC_ARROW));
    std::u16string message;
    if (done) {
        message = undo ? u"The game's files in " + folder + u" are as they were before the mod."
                       : mod.name + u" is installed in " + folder +
                             u". The files it changed were kept as NAME.bak the first time.";
    } else {
        message = done.message;
    }
    if (!report.recovery.empty()) {
        message = report.recovery + u"\n\n" + message;  // what the run stopped before left
    }
    ::SetWindowTextW(s.status, Wide(done ? message : std::u16string(u"Nothing was changed.")));
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
                    Apply(window, *s, false);
                    return 0;
                case kUninstallButton:
                    Apply(window, *s, true);
                    return 0;
                case kCloseButton:
                case IDCANCEL:
                    ::DestroyWindow(window);
                    return 0;
                default:
                    break;
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
