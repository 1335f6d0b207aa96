// folder.h -- listing a folder, for the client view's loose files and its
// DATA.INI. folder_posix.cpp and folder_win32.cpp implement it.
#ifndef CASKWRIGHT_FOLDER_H
#define CASKWRIGHT_FOLDER_H

#include <stdint.h>
#include <wchar.h>

// One thing found in a folder: a file with its size, or a folder.
struct FolderItem {
    const wchar_t* name;  // valid during the visit only
    bool folder;
    uint64_t size;  // files only
};

// Calls visit for each file and folder directly inside folder, in no set
// order, never "." or "..". Links (and Windows reparse points) and special
// files are left out, so a walk never leaves the folder it was given; so
// are names that are not text of this system (POSIX: not UTF-8). visit
// returning false stops the listing. False when the folder does not open or
// visit stopped it.
bool PlatformListFolder(const wchar_t* folder, bool (*visit)(const FolderItem& item, void* user),
                        void* user);

// What a walk does after visiting a thing.
enum class WalkStep { kStop, kNext, kEnter };

// Walks the tree under folder depth first: visit is called for each file
// and folder as PlatformListFolder calls it (links, special files and names
// that are not text left out); for a folder, kEnter walks into it, and
// leave(user) is called when that folder's listing ends. Folders are opened
// relative to the one holding them and never through a link. kStop ends
// the walk. False when folder does not open or the walk was stopped; a
// folder inside that does not open is passed over.
bool PlatformWalkTree(const wchar_t* folder, WalkStep (*visit)(const FolderItem& item, void* user),
                      void (*leave)(void* user), void* user);

#endif
