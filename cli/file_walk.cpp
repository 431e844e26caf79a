#include "cli/file_walk.h"

#include "cli/options.h"
#include "cli/quote.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {

void TellUnreadable(const fs::path& path, const std::error_code& error, WalkedInputs& walked) {
    std::string name;
    try {
        name = MessageName(path.string());
    } catch (const std::system_error&) { // Windows: a name the code page cannot hold
        name = "a folder";
    }
    std::fprintf(stderr, "qefdump: %s: %s\n", name.c_str(), error.message().c_str());
    walked.complete = false;
}

// The regular files under `folder`, each folder's entries in the order of their names as
// bytes, depth first, appended to `walked`; `shownFrom` characters of each path are left out of
// its name (the "./" of the working folder). A symbolic link met here is not followed, and
// neither is anything but a file or a folder: a pipe would keep the walk waiting.
void WalkFolder(const fs::path& folder, size_t shownFrom, WalkedInputs& walked) {
    std::vector<fs::directory_entry> entries;
    std::error_code error;
    for (fs::directory_iterator next(folder, error), end; !error && next != end;
         next.increment(error))
        entries.push_back(*next);
    if (error)
        return TellUnreadable(folder, error, walked);
    std::sort(entries.begin(), entries.end());
    for (const fs::directory_entry& entry : entries) {
        std::error_code kind;
        if (entry.is_symlink(kind))
            continue;
        if (entry.is_directory(kind))
            WalkFolder(entry.path(), shownFrom, walked);
        else if (entry.is_regular_file(kind))
            try {
                walked.paths.push_back(entry.path().generic_string().substr(shownFrom));
            } catch (const std::system_error& unnamed) { // Windows: a name not in the code page
                TellUnreadable(folder, unnamed.code(), walked);
            }
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
        bool folder = !IsStandardInput(input) && fs::is_directory(input, error);
        if (folder)
            WalkFolder(input, 0, walked);
        else
            walked.paths.emplace_back(input);
        walked.foundInFolder = walked.foundInFolder || folder;
    }
    return walked;
}
