// local_files.cpp -- collecting, naming and adding files from disk.
//
// The engine reads a local-file record's bytes from one folder for the
// whole table, GrfLocalBaseDir, followed by the record's name less its first
// four characters. Files whose paths end that way share a folder and are
// added as they are; the others are reached through links (or copies) in a
// staging folder laid out by name. When the files need more than one such
// folder, all but the largest group are first written to scratch archives,
// which are merged into the table like any other archive.
#include "local_files.h"

#include <algorithm>
#include <map>
#include <unordered_set>

#include "console.h"
#include "errors.h"
#include "names.h"
#include "output.h"

namespace caskw {

namespace fs = std::filesystem;

namespace {

constexpr size_t kBaseDirSize = sizeof GrfLocalBaseDir / sizeof GrfLocalBaseDir[0];
constexpr wchar_t kSeparator = fs::path::preferred_separator;

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

bool SamePath(const fs::path& a, const fs::path& b) {
    if (b.empty()) return false;
    std::error_code error;
    return fs::absolute(a, error).lexically_normal() == fs::absolute(b, error).lexically_normal();
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

// ---------------------------------------------------------------------------
// Adding to a table

std::wstring Normalized(std::wstring path) {
    for (wchar_t& c : path)
        if (c == L'/' || c == L'\\') c = kSeparator;
    return path;
}

// A file and what the engine needs to reach it: the folder and the name.
struct Placed {
    std::wstring name;  // wide archive name
    std::wstring base;  // GrfLocalBaseDir for it
};

// The folder from which the engine's rule reaches source under name, when
// source's path ends with the name less its first four characters.
bool DirectBase(const std::wstring& name, const fs::path& source, std::wstring* base) {
    std::error_code error;
    std::wstring path = Normalized(EnginePath(fs::absolute(source, error)));
    std::wstring rest = Normalized(name.substr(std::min<size_t>(4, name.size())));
    if (path.empty() || path.size() < rest.size() ||
        path.compare(path.size() - rest.size(), rest.size(), rest) != 0)
        return false;
    *base = path.substr(0, path.size() - rest.size());
    return !base->empty() && base->size() < kBaseDirSize;
}

// Links source (or copies it) at root followed by rest, the name less its
// first four characters (the part of the path the engine adds to the
// folder). False when that spot is taken: by another name with the same
// rest, or by a folder another one needs, or the same name in other case on
// a file system that ignores case.
bool Stage(const fs::path& root, const std::wstring& rest, const fs::path& source,
           std::string* why) {
    std::wstring relative = rest;
    std::replace(relative.begin(), relative.end(), L'\\', L'/');
    relative.erase(0, relative.find_first_not_of(L'/'));
    fs::path staged = root / PathFromUtf8(WideToUtf8(relative));
    std::error_code error;
    fs::create_directories(staged.parent_path(), error);
    if (error || fs::exists(fs::symlink_status(staged, error))) return false;
    fs::path absolute = fs::absolute(source, error);
    fs::create_hard_link(absolute, staged, error);
    if (error) fs::create_symlink(absolute, staged, error);
    if (error) fs::copy_file(absolute, staged, error);
    if (error) *why = PathToUtf8(source) + ": could not be staged: " + error.message();
    return true;
}

std::wstring WideName(const std::string& name) {
    wchar_t* wide = Cp949ToWide(name.c_str());
    std::wstring result = wide ? wide : L"";
    GrfFreeBuffer(wide);
    return result;
}

// Gives every file the folder the engine reaches it from. The largest group
// of files that share a folder as they lie stays there; the others are
// staged into as few folders as their names allow (names whose rests are
// all different share one), as the engine ignores each name's first four
// characters.
bool PlaceFiles(const std::vector<LocalFile>& files, const fs::path& beside, Staging* staging,
                std::vector<Placed>* placed, std::string* why) {
    placed->resize(files.size());
    std::vector<bool> direct(files.size());
    std::map<std::wstring, size_t> sizes;
    for (size_t i = 0; i < files.size(); ++i) {
        Placed& p = (*placed)[i];
        p.name = WideName(files[i].name);
        direct[i] = DirectBase(p.name, files[i].source, &p.base);
        if (direct[i]) ++sizes[p.base];
    }
    std::wstring kept;
    size_t keptSize = 0;
    for (const auto& [base, size] : sizes)
        if (size > keptSize) kept = base, keptSize = size;

    std::vector<fs::path> roots;
    for (size_t i = 0; i < files.size(); ++i) {
        Placed& p = (*placed)[i];
        // Names of four characters or fewer leave nothing to lay out.
        if ((direct[i] && p.base == kept) || p.name.size() <= 4) {
            if (direct[i]) continue;
            *why = PathToUtf8(files[i].source) + ": cannot be reached under the name " +
                   WideToUtf8(p.name);
            return false;
        }
        std::wstring rest = p.name.substr(4);
        size_t k = 0;
        for (;; ++k) {
            bool fresh = k == roots.size();
            if (fresh) {
                roots.push_back(ScratchPath(beside, "stage"));
                staging->paths.push_back(roots.back());
            }
            if (Stage(roots[k], rest, files[i].source, why)) break;
            // Nothing can be in the way in a new folder.
            if (fresh) {
                *why = PathToUtf8(roots[k]) + ": the scratch folder could not be made";
                return false;
            }
        }
        if (!why->empty()) return false;
        // The engine joins folder and rest as they are.
        p.base = EnginePath(roots[k]) + kSeparator;
        if (p.base.size() >= kBaseDirSize) {
            *why = "the scratch folder's path is too long for the engine (259 characters)";
            return false;
        }
    }
    return true;
}

uint32_t AddToTable(GrfArchive* archive, const std::vector<const Placed*>& group) {
    for (const Placed* p : group) {
        uint32_t code = GrfAddFile(archive, p->base.c_str(), p->name.c_str());
        if (code != GRF_OK) return code;
    }
    return GRF_OK;
}

// Writes a group that needs a folder of its own to a scratch archive and
// merges it into the table.
bool MergeGroup(GrfArchive* archive, const std::vector<const Placed*>& group,
                const fs::path& beside, Staging* staging, std::string* why) {
    fs::path path = ScratchPath(beside, "part");
    Archive part = CreateArchive(path, why);
    if (!part) return false;
    uint32_t code = AddToTable(part.get(), group);
    if (code == GRF_OK && GrfRepack(part.get(), EnginePath(path).c_str(), nullptr) != 0)
        code = GrfLastError;
    staging->paths.push_back(path);
    if (code != GRF_OK) {
        *why = ErrorText(code);
        return false;
    }
    Archive written = OpenArchive(path, why);
    if (!written) return false;
    // The part holds records, so a merge that worked counts some.
    if (GrfMerge(archive, written.get()) == 0) {
        *why = ErrorText(GrfLastError);
        return false;
    }
    staging->archives.push_back(std::move(written));
    return true;
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

Staging::~Staging() {
    archives.clear();
    std::error_code ignored;
    for (const fs::path& path : paths) fs::remove_all(path, ignored);
}

bool AddLocalFiles(GrfArchive* archive, const std::vector<LocalFile>& files, const fs::path& beside,
                   Staging* staging, std::string* why) {
    if (files.empty()) return true;
    std::unordered_set<std::string> names;
    for (const LocalFile& file : files) names.insert(file.name);
    for (uint32_t i = 0; i < archive->count; ++i)
        if (names.count(archive->entries[i].name)) archive->entries[i].state = ENTRY_DELETED;

    std::vector<Placed> placed;
    if (!PlaceFiles(files, beside, staging, &placed, why)) return false;
    std::map<std::wstring, std::vector<const Placed*>> groups;
    for (const Placed& p : placed) groups[p.base].push_back(&p);
    auto largest = std::max_element(groups.begin(), groups.end(), [](const auto& a, const auto& b) {
        return a.second.size() < b.second.size();
    });
    for (auto it = groups.begin(); it != groups.end(); ++it)
        if (it != largest && !MergeGroup(archive, it->second, beside, staging, why)) return false;
    uint32_t code = AddToTable(archive, largest->second);
    if (code == GRF_OK) return true;
    *why = ErrorText(code);
    return false;
}

}  // namespace caskw
