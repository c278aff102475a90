#include "installer/core/installer_command.h"

#include "common/text.h"
#include "installer/core/mod_apply.h"

namespace kestrova::installer {

namespace {

bool IsSpace(char16_t c) {
    return c == u' ' || c == u'\t';
}

std::u16string_view TrimSpaces(std::u16string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

}  // namespace

std::u16string_view ArgumentsOf(std::u16string_view commandLine) {
    std::size_t i = 0;
    if (!commandLine.empty() && commandLine[0] == u'"') {
        std::size_t close = commandLine.find(u'"', 1);
        i = close == std::u16string_view::npos ? commandLine.size() : close + 1;
    }
    while (i < commandLine.size() && !IsSpace(commandLine[i])) {
        ++i;
    }
    return TrimSpaces(commandLine.substr(i));
}

InstallerCommand ParseInstallerArguments(std::u16string_view arguments) {
    InstallerCommand command;
    std::u16string_view rest = TrimSpaces(arguments);
    while (!rest.empty()) {
        // The whole option may be quoted too, as programs that start others quote an argument
        // with spaces in it.
        const bool quoted = rest.front() == u'"';
        const std::u16string_view option = quoted ? rest.substr(1) : rest;
        if (option.size() >= 3 && CompareIgnoringAsciiCase(option.substr(0, 3), u"/D=") == 0) {
            std::u16string_view folder = TrimSpaces(option.substr(3));
            if (quoted && !folder.empty() && folder.back() == u'"') {
                folder.remove_suffix(1);
            } else if (folder.size() >= 2 && folder.front() == u'"' && folder.back() == u'"') {
                folder = folder.substr(1, folder.size() - 2);
            }
            command.folder = std::u16string(folder);
            break;
        }
        std::size_t end = 0;
        while (end < rest.size() && !IsSpace(rest[end])) {
            ++end;
        }
        const std::u16string_view word = rest.substr(0, end);
        if (CompareIgnoringAsciiCase(word, u"/S") == 0) {
            command.silent = true;
        } else if (CompareIgnoringAsciiCase(word, u"/U") == 0) {
            command.undo = true;
        } else {
            command.unknown.emplace_back(word);
        }
        rest = TrimSpaces(rest.substr(end));
    }
    return command;
}

SilentResult RunSilently(const std::u16string& program, const InstallerCommand& command) {
    if (!command.unknown.empty()) {
        return {kUsageError, u"unknown option " + command.unknown.front() +
                                 u" (use /S /D=<folder> to install, /S /U /D=<folder> to undo)"};
    }
    if (!command.folder || command.folder->empty()) {
        return {kUsageError, u"no game folder given (use /S /D=<folder>)"};
    }
    ModSource source;
    if (Outcome o = source.Open(program); !o) {
        return {kNoModError, OnOneLine(o.message)};
    }
    const Outcome done = command.undo ? UninstallMod(source.mod(), *command.folder)
                                      : InstallMod(source.mod(), source.payload(), *command.folder);
    if (!done) {
        return {kInstallError, OnOneLine(done.message)};
    }
    return {};
}

}  // namespace kestrova::installer
