#include "cli/file_walk.h"

#include "cli/options.h"
#include "cli/quote.h"
#include "cli/win32_text.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <utility>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

// A UTF-8 name as a path, and a path as its UTF-8 name with '/' between its parts: on Windows
// the narrow forms of a path speak the ANSI code page, which holds few names, and keep '\\'.
fs::path PathOf(std::string_view name) {
    return fs::path(std::u8string(name.begin(), name.end()));
}

std::string NameOf(const fs::path& path) {
    std::u8string name = path.generic_u8string();
    std::string text(name.begin(), name.end());
    std::replace(text.begin(), text.end(), char(fs::path::preferred_separator), '/');
    return text;
}

void TellUnreadable(const fs::path& path, const std::error_code& error, WalkedInputs& walked) {
    WriteText(stderr, "qefdump: " + MessageName(NameOf(path)) + ": " + error.message() + "\n");
    walked.complete = false;
}

// The regular files under `folder`, each folder's entries in the order of their names as
// bytes, depth first, appended to `walked`; `shownFrom` characters of each path are left out of
// its name (the "./" of the working folder). A symbolic link met here is not followed, and
// neither is anything but a file or a folder: a pipe would keep the walk waiting.
void WalkFolder(const fs::path& folder, size_t shownFrom, WalkedInputs& walked) {
    std::vector<std::pair<std::string, fs::directory_entry>> entries;
    std::error_code error;
    for (fs::directory_iterator next(folder, error), end; !error && next != end;
         next.increment(error))
        entries.emplace_back(NameOf(next->path()), *next);
    if (error)
        return TellUnreadable(folder, error, walked);
    std::sort(entries.begin(), entries.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (const auto& [name, entry] : entries) {
        std::error_code kind;
        if (entry.is_symlink(kind))
            continue;
        if (entry.is_directory(kind))
            WalkFolder(entry.path(), shownFrom, walked);
        else if (entry.is_regular_file(kind))
            walked.paths.push_back(name.substr(shownFrom));
    }
}

} // namespace

WalkedInputs WalkInputs(const std::vector<const char*>& inputs) {
    WalkedInputs walked;
    if (inputs.empty()) {
        WalkFolder(".", 2, walked);
        walked.foundInFolder = true;
    }
    for (const char* input : inputs) {
        std::error_code error;
        bool folder = !IsStandardInput(input) && fs::is_directory(PathOf(input), error);
        if (folder)
            WalkFolder(PathOf(input), 0, walked);
        else
            walked.paths.emplace_back(input);
        walked.foundInFolder = walked.foundInFolder || folder;
    }
    return walked;
}
