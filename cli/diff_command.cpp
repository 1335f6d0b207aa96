// diff_command.cpp -- diff: which entries B adds, removes and changes
// (by content) compared with A, and optionally an archive of what B adds or
// changes.
#include <ctype.h>
#include <string.h>

#include <memory>
#include <nlohmann/json.hpp>
#include <unordered_map>

#include "archive_io.h"
#include "client_view.h"
#include "commands.h"
#include "console.h"
#include "errors.h"
#include "names.h"
#include "output.h"
#include "progress.h"

namespace caskw {

namespace {

namespace fs = std::filesystem;

struct DiffOptions {
    std::string a;
    std::string b;
    bool json = false;
    std::string patch;
    std::string target;
    std::vector<std::string> clients;
    bool noLoose = false;
};

bool IsFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(PathFromUtf8(path), error);
}

// The two sides from --client and the paths given: clients stand first (A,
// then B); a path that names a folder is a client too. False when there are
// not exactly two sides.
bool ChooseSides(const DiffOptions& o, ClientDiffSides* sides) {
    std::vector<std::pair<std::string, bool>> given;
    for (const std::string& c : o.clients) given.emplace_back(c, true);
    for (const std::string* p : {&o.a, &o.b})
        if (!p->empty()) given.emplace_back(*p, IsFolder(*p));
    if (given.size() != 2) return false;
    *sides = ClientDiffSides{given[0].first, given[1].first, given[0].second, given[1].second,
                             o.noLoose};
    return true;
}

// A patch file rather than an archive: OUT ends in ".thor", any case.
bool IsPatchPath(const std::string& path) {
    if (path.size() < 5) return false;
    std::string end = path.substr(path.size() - 5);
    for (char& c : end) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return end == ".thor";
}

enum class Change { kSame, kAdded, kChanged, kUnreadable };

// The first record of each name, as lookups by name find it.
std::unordered_map<std::string, uint32_t> FirstByName(const GrfArchive* archive) {
    std::unordered_map<std::string, uint32_t> first;
    first.reserve(archive->count);
    for (uint32_t i = 0; i < archive->count; ++i) first.emplace(archive->entries[i].name, i);
    return first;
}

Change Compare(GrfArchive* a, uint32_t ia, GrfArchive* b, uint32_t ib) {
    if (a->entries[ia].realSize != b->entries[ib].realSize) return Change::kChanged;
    Content left, right;
    uint32_t leftSize = 0, rightSize = 0;
    uint32_t code = ReadRecord(a, ia, &left, &leftSize);
    if (code != GRF_OK) {
        Complain("A: " + DisplayName(a->entries[ia].name) + ": " + ErrorText(code));
        return Change::kUnreadable;
    }
    code = ReadRecord(b, ib, &right, &rightSize);
    if (code != GRF_OK) {
        Complain("B: " + DisplayName(b->entries[ib].name) + ": " + ErrorText(code));
        return Change::kUnreadable;
    }
    bool same = leftSize == rightSize && memcmp(left.get(), right.get(), leftSize) == 0;
    return same ? Change::kSame : Change::kChanged;
}

int RunDiff(const DiffOptions& o) {
    ClientDiffSides sides;
    if (!ChooseSides(o, &sides))
        return CannotRun(
            "diff compares two sides: A and B, each an archive, or a client folder (a folder, or "
            "--client DIR)");
    if (sides.aIsClient || sides.bIsClient) {
        if (!o.patch.empty())
            return CannotRun(
                "--patch writes from two archives; with a client folder as a side, "
                "diff only lists");
        return RunClientDiff(sides, o.json);
    }
    std::string why;
    Archive a = OpenArchive(PathFromUtf8(o.a), &why);
    if (!a) return CannotRun(why);
    Archive b = OpenArchive(PathFromUtf8(o.b), &why);
    if (!b) return CannotRun(why);
    std::unordered_map<std::string, uint32_t> inA = FirstByName(a.get());
    std::unordered_map<std::string, uint32_t> inB = FirstByName(b.get());

    std::vector<uint32_t> added, changed, removed;
    std::vector<bool> inPatch(b->count, false);
    size_t unreadable = 0;
    ProgressBegin("comparing", b->count, 0);
    for (uint32_t i = 0; i < b->count && !Interrupted(); ++i) {
        ProgressUpdate(i, 0);
        const char* name = b->entries[i].name;
        if (inB[name] != i) continue;  // a later record of a name looked up before
        auto found = inA.find(name);
        Change change =
            found == inA.end() ? Change::kAdded : Compare(a.get(), found->second, b.get(), i);
        if (change == Change::kAdded) added.push_back(i);
        if (change == Change::kChanged) changed.push_back(i);
        if (change == Change::kUnreadable) ++unreadable;
        inPatch[i] = change == Change::kAdded || change == Change::kChanged;
    }
    ProgressEnd();
    if (Interrupted()) return CannotRun("interrupted");
    for (uint32_t i = 0; i < a->count; ++i)
        if (inA[a->entries[i].name] == i && !inB.count(a->entries[i].name)) removed.push_back(i);

    auto names = [](const GrfArchive* archive, const std::vector<uint32_t>& indices) {
        std::vector<std::string> out;
        for (uint32_t i : indices) out.push_back(DisplayName(archive->entries[i].name));
        return out;
    };
    if (o.json) {
        nlohmann::ordered_json result = {{"added", names(b.get(), added)},
                                         {"removed", names(a.get(), removed)},
                                         {"changed", names(b.get(), changed)}};
        Out(result.dump(2, ' ', false) + "\n");
    } else {
        auto line = [](const char* what, std::string name) {
            EscapeControls(&name);
            Out(what + name + "\n");
        };
        for (const std::string& n : names(b.get(), added)) line("added\t", n);
        for (const std::string& n : names(a.get(), removed)) line("removed\t", n);
        for (const std::string& n : names(b.get(), changed)) line("changed\t", n);
    }
    if (!OutFlush()) return CannotRun("standard output could not be written");

    if (!o.patch.empty() && IsPatchPath(o.patch)) {
        for (uint32_t i = 0; i < b->count; ++i)
            if (!inPatch[i]) b->entries[i].state = GRF_ENTRY_DELETED;
        for (uint32_t i : removed) {
            uint32_t code = GrfAddRemoval(b.get(), a->entries[i].name);
            if (code != GRF_OK) {
                Complain(o.patch + ": not written: " + ErrorText(code));
                return kExitSomeFailed;
            }
        }
        std::string target;
        if (!ArchiveName(o.target, &target))
            return CannotRun("--target: not a name a patch can hold");
        if (!WritePatch(b.get(), PathFromUtf8(o.patch), GRF_PATCH_MERGE, target, false, &why)) {
            Complain(o.patch + ": not written: " + why);
            return kExitSomeFailed;
        }
        Note(Count(added.size() + changed.size(), "entry", "entries") + " and " +
             Count(removed.size(), "removal", "removals") + " written to " + o.patch);
    } else if (!o.patch.empty()) {
        for (uint32_t i = 0; i < b->count; ++i)
            if (!inPatch[i]) b->entries[i].state = GRF_ENTRY_DELETED;
        if (!SetOutputVersion(ArchiveVersion(b.get())) ||
            !WriteArchive(b.get(), PathFromUtf8(o.patch), &why)) {
            Complain(o.patch + ": not written: " +
                     (why.empty() ? std::string("B's version is not one Caskwright writes") : why));
            return kExitSomeFailed;
        }
        Note(Count(added.size() + changed.size(), "entry", "entries") + " written to " + o.patch);
    }
    return unreadable ? kExitSomeFailed : kExitDone;
}

}  // namespace

void AddDiffCommand(CLI::App* app, int* exitCode) {
    auto o = std::make_shared<DiffOptions>();
    CLI::App* diff = app->add_subcommand(
        "diff", "Show the entries B adds, removes and changes (by content) compared with A");
    diff->add_option("A", o->a, "the older archive (a folder: a client)");
    diff->add_option("B", o->b, "the newer archive (a folder: a client)");
    diff->add_option("--client", o->clients,
                     "a game client's folder as a side (given before A and B; twice for two "
                     "clients), its names as the client loads them")
        ->type_name("DIR")
        ->allow_extra_args(false)
        ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    diff->add_flag("--no-loose", o->noLoose, "with a client: leave its loose data folder out");
    diff->add_flag("--json", o->json, "one JSON object with the lists added, removed, changed");
    diff->add_option("--patch", o->patch,
                     "also write what B adds or changes: a patch file (THOR) that also removes "
                     "what B drops when OUT ends in .thor, else an archive")
        ->type_name("OUT");
    diff->add_option("--target", o->target, "the archive a .thor patch names as its target")
        ->type_name("NAME");
    diff->callback([=] { *exitCode = RunDiff(*o); });
}

}  // namespace caskw
