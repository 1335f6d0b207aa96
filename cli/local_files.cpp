// local_files.cpp -- collecting, naming and adding files from disk. Each
// local-file record keeps its own file's path in the engine, so files from
// anywhere go into one table as they are.
#include "local_files.h"

#include <algorithm>
#include <unordered_set>

#include "console.h"
#include "errors.h"
#include "names.h"
#include "output.h"

namespace caskw {

namespace fs = std::filesystem;

namespace {

std::string SlashesToBackslashes(std::string text) {
    std::replace(text.begin(), text.end(), '/', '\\');
    return text;
}

std::string StripSeparators(std::string text) {
    while (!text.empty() && text.back() == '\\') text.pop_back();
    while (!text.empty() && text.front() == '\\') text.erase(0, 1);
    return text;
}

std::string JoinName(const std::string& prefix, const std::string& rest) {
    if (prefix.empty()) return rest;
    if (rest.empty()) return prefix;
    return prefix + "\\" + rest;
}

// A name extraction would refuse (empty components, "." or "..") is never
// put into an archive.
bool IsPlainName(const std::string& name) {
    size_t start = 0;
    for (;;) {
        size_t end = name.find('\\', start);
        std::string part = name.substr(start, end == std::string::npos ? end : end - start);
        if (part.empty() || part == "." || part == "..") return false;
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

void AddNamed(const std::string& utf8Name, const fs::path& source, std::vector<LocalFile>* files,
              int* failed) {
    LocalFile file;
    file.source = source;
    std::string shown = PathToUtf8(source);
    if (!IsPlainName(utf8Name)) {
        Complain(shown + ": the archive name \"" + utf8Name + "\" has an empty, . or .. part");
    } else if (!ArchiveName(utf8Name, &file.name)) {
        Complain(shown + ": the name has characters that code page 949 lacks");
    } else if (file.name.size() >= GRF_NAME_SIZE) {
        Complain(shown + ": the archive name is longer than the 107 bytes a name holds");
    } else {
        files->push_back(std::move(file));
        return;
    }
    ++*failed;
}

// The output is never read as an input: the same name, or the same file
// reached another way (a link to the folder, a hard link).
bool SamePath(const fs::path& a, const fs::path& b) {
    if (b.empty()) return false;
    std::error_code error;
    if (fs::absolute(a, error).lexically_normal() == fs::absolute(b, error).lexically_normal())
        return true;
    return fs::equivalent(a, b, error) && !error;
}

// Our own scratch files beside an output inside the folder being packed.
bool IsScratch(const fs::path& path, const fs::path& exclude) {
    if (exclude.empty()) return false;
    std::string scratch = "." + PathToUtf8(exclude.filename()) + ".caskw-";
    return PathToUtf8(path.filename()).rfind(scratch, 0) == 0;
}

void SortAndCheck(std::vector<LocalFile>* files, int* failed) {
    std::stable_sort(files->begin(), files->end(),
                     [](const LocalFile& a, const LocalFile& b) { return a.name < b.name; });
    auto same = [](const LocalFile& a, const LocalFile& b) { return a.name == b.name; };
    for (size_t i = 1; i < files->size(); ++i) {
        if (!same((*files)[i - 1], (*files)[i])) continue;
        Complain(PathToUtf8((*files)[i].source) + ": gives the same archive name as " +
                 PathToUtf8((*files)[i - 1].source) + "; left out");
        ++*failed;
    }
    files->erase(std::unique(files->begin(), files->end(), same), files->end());
}

void Walk(const fs::path& folder, const std::string& prefix, const fs::path& exclude,
          std::vector<LocalFile>* files, int* failed) {
    std::error_code error;
    fs::recursive_directory_iterator it(folder, error), end;
    for (; !error && it != end; it.increment(error)) {
        const fs::directory_entry& entry = *it;
        std::error_code kind;
        if (!entry.is_regular_file(kind)) continue;
        if (SamePath(entry.path(), exclude) || IsScratch(entry.path(), exclude)) continue;
        std::string relative = PathToUtf8(entry.path().lexically_relative(folder));
        AddNamed(JoinName(prefix, SlashesToBackslashes(relative)), entry.path(), files, failed);
    }
    if (error) {
        Complain(PathToUtf8(folder) + ": " + error.message());
        ++*failed;
    }
}

// The name as the engine takes it back byte for byte: bytes that start no
// character as %XX, as extraction names them.
std::wstring WideName(const std::string& name) {
    wchar_t* wide = GrfFileName(name.c_str());
    std::wstring result = wide ? wide : L"";
    GrfFreeBuffer(wide);
    return result;
}

}  // namespace

void CollectFolder(const fs::path& folder, const std::string& prefix, const fs::path& exclude,
                   std::vector<LocalFile>* files, int* failed) {
    Walk(folder, StripSeparators(SlashesToBackslashes(prefix)), exclude, files, failed);
    SortAndCheck(files, failed);
}

void CollectPaths(const std::vector<std::string>& paths, const std::string* as,
                  const fs::path& exclude, std::vector<LocalFile>* files, int* failed) {
    for (const std::string& typed : paths) {
        fs::path path = PathFromUtf8(typed);
        std::error_code error;
        fs::file_status status = fs::status(path, error);
        if (!fs::exists(status)) {
            Complain(typed + ": no such file or folder");
            ++*failed;
            continue;
        }
        std::string base;
        if (as) {
            base = StripSeparators(SlashesToBackslashes(*as));
            if (!fs::is_directory(status))
                base = JoinName(base, PathToUtf8(path.lexically_normal().filename()));
        } else {
            fs::path normal = path.lexically_normal();
            std::string text = PathToUtf8(normal);
            if (normal.has_root_path() || text == ".." || text.rfind("..", 0) == 0) {
                Complain(typed + ": outside the current folder; give --as PREFIX to name it");
                ++*failed;
                continue;
            }
            base = text == "." ? "" : StripSeparators(SlashesToBackslashes(text));
        }
        if (fs::is_directory(status))
            Walk(path, base, exclude, files, failed);
        else
            AddNamed(base, path, files, failed);
    }
    SortAndCheck(files, failed);
}

bool AddLocalFiles(GrfArchive* archive, const std::vector<LocalFile>& files, std::string* why) {
    std::unordered_set<std::string> names;
    for (const LocalFile& file : files) names.insert(file.name);
    for (uint32_t i = 0; i < archive->count; ++i)
        if (names.count(archive->entries[i].name)) archive->entries[i].state = GRF_ENTRY_DELETED;
    for (const LocalFile& file : files) {
        std::error_code error;
        std::wstring path = EnginePath(fs::absolute(file.source, error));
        uint32_t code = GrfAddLocalFile(archive, WideName(file.name).c_str(), path.c_str());
        if (code != GRF_OK) {
            *why = PathToUtf8(file.source) + ": " + ErrorText(code);
            return false;
        }
        if (archive->entries[archive->count - 1].name != file.name) {
            *why = PathToUtf8(file.source) + ": the name " + DisplayName(file.name.c_str()) +
                   " cannot be stored exactly";
            return false;
        }
    }
    return true;
}

}  // namespace caskw
