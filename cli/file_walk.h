// -r: the folders among the inputs replaced by the files in them, before anything is read, so
// that every check that an input makes (OUT is none of them) covers every file found.
#pragma once

#include <string>
#include <vector>

struct WalkedInputs {
    std::vector<std::string> paths; // the inputs, each folder's files in its place
    bool foundInFolder = false;     // a folder was walked: the lines name their file
    bool complete = true;           // every folder could be read; what could not was told
};

// As grep -r: a named folder (a symbolic link to one too) gives the regular files under it,
// sorted by name as bytes; a symbolic link met inside is left alone. No input at all walks the
// working folder, its files named without "./". A named file, and "-", stay as they are.
WalkedInputs WalkInputs(const std::vector<const char*>& inputs);
