// patch_commands.cpp -- patch files (THOR): make one from a folder, apply
// one to an archive, check one's integrity list; and writing a table as a
// patch, which diff --patch shares.
#include <ctype.h>
#include <stdio.h>
#include <string.h>
#include <zlib.h>

#include <memory>
#include <unordered_map>

#include "archive_io.h"
#include "commands.h"
#include "console.h"
#include "errors.h"
#include "local_files.h"
#include "names.h"
#include "output.h"
#include "progress.h"
#include "rgz_commands.h"

namespace caskw {

namespace {

namespace fs = std::filesystem;

constexpr char kIntegrityName[] = "data.integrity";

// ---------------------------------------------------------------------------
// patch make

struct MakeOptions {
    std::string folder;
    std::string out;
    std::string target;
    std::string prefix;
    std::vector<std::string> removals;
    bool loose = false;
    bool integrity = false;
    uint32_t level = 0;
};

int RunMake(const MakeOptions& o) {
    fs::path folder = PathFromUtf8(o.folder);
    std::error_code error;
    if (!fs::is_directory(folder, error)) return CannotRun(o.folder + ": not a folder");
    if (o.level && !SetOutputLevel(o.level)) return CannotRun("--level takes 2 to 9");
    if (IsRgzPath(o.out)) {
        if (!o.target.empty() || !o.removals.empty() || o.integrity)
            return CannotRun("an RGZ has no target, removals or integrity list");
        return MakeRgz(o.folder, o.prefix, o.out);
    }
    std::string target;
    if (!ArchiveName(o.target, &target) || target.size() > 255)
        return CannotRun("--target " + o.target + ": not a name a patch can hold");
    std::vector<std::string> removals;
    for (const std::string& typed : o.removals) {
        std::string name;
        if (!ArchiveName(typed, &name) || name.empty() || name.size() > GRF_NAME_MAX)
            return CannotRun("--remove " + typed + ": not a name an archive can hold");
        removals.push_back(name);
    }
    fs::path out = PathFromUtf8(o.out);
    std::vector<LocalFile> files;
    int failed = 0;
    CollectFolder(folder, o.prefix, out, &files, &failed);
    if (files.empty() && removals.empty()) return CannotRun(o.folder + ": nothing to pack");

    // The files become records of a table, the removals records of their own.
    std::string why;
    Archive table = CreateArchive(out, &why);
    if (!table) return CannotRun(why);
    SetOutputVersion(0x200);
    if (!AddLocalFiles(table.get(), files, &why)) {
        Complain(o.out + ": not written: " + why);
        return kExitSomeFailed;
    }
    for (const std::string& name : removals) {
        uint32_t code = GrfAddRemoval(table.get(), name.c_str());
        if (code != GRF_OK) return CannotRun("--remove: " + ErrorText(code));
    }
    uint8_t mode = o.loose ? GRF_PATCH_LOOSE : GRF_PATCH_MERGE;
    if (!WritePatch(table.get(), out, mode, target, o.integrity, &why)) {
        Complain(o.out + ": not written: " + why);
        return kExitSomeFailed;
    }
    Note(Count(files.size(), "file", "files") + " and " +
         Count(removals.size(), "removal", "removals") + " written to " + o.out +
         (failed ? "; " + Count(failed, "file", "files") + " left out" : ""));
    return failed ? kExitSomeFailed : kExitDone;
}

// ---------------------------------------------------------------------------
// patch apply

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (tolower(static_cast<unsigned char>(a[i])) != tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

struct ApplyOptions {
    std::string patch;
    std::string archive;
};

// The counts a merge will show: files replacing entries, new files, names
// the patch removes that the archive holds.
struct Tally {
    size_t replaced = 0, added = 0, removed = 0;
};

Tally TallyOf(GrfArchive* archive, const GrfArchive* patch) {
    Tally tally;
    for (uint32_t i = 0; i < patch->count; ++i) {
        const GrfEntry& record = patch->entries[i];
        if (strcmp(record.name, kIntegrityName) == 0) continue;
        bool present = GrfFindEntry(archive, record.name) != nullptr;
        if (record.state & GRF_ENTRY_REMOVAL)
            tally.removed += present;
        else
            ++(present ? tally.replaced : tally.added);
    }
    return tally;
}

int RunApply(const ApplyOptions& o) {
    std::string why;
    Archive patch = OpenArchive(PathFromUtf8(o.patch), &why);
    if (!patch) return CannotRun(why);
    // An RGZ goes into a client folder, not an archive.
    if (IsRgz(patch.get())) return ApplyRgz(patch.get(), o.patch, o.archive);
    // Held from reading the archive until it is saved: no other writer
    // comes in between.
    ArchiveLock lock;
    if (!LockArchive(PathFromUtf8(o.archive), &lock, &why)) return CannotRun(why);
    Archive archive = OpenArchive(PathFromUtf8(o.archive), &why);
    if (!archive) return CannotRun(why);
    const GrfPatchInfo* info = GrfPatchOf(patch.get());
    if (!info) return CannotRun(o.patch + ": not a patch file");
    if (GrfPatchOf(archive.get())) return CannotRun(o.archive + ": a patch file, not an archive");
    std::string target = DisplayName(info->target);
    std::string own = PathToUtf8(PathFromUtf8(o.archive).filename());
    if (!target.empty() && !SameIgnoringCase(target, own))
        Note("the patch names " + target + " as its target; applying it to " + own);

    if (info->mergeMode == GRF_PATCH_LOOSE) {
        fs::path folder = fs::absolute(PathFromUtf8(o.archive)).parent_path();
        // Every entry that can be applied is; each refused one is named.
        std::vector<uint32_t> results(patch->count, GRF_OK);
        ProgressBegin("writing", patch->count, 0);
        int32_t failed =
            GrfApplyLoosePatch(archive.get(), patch.get(), EngineProgress, results.data());
        ProgressEnd();
        if (failed) {
            size_t refused = 0;
            for (uint32_t i = 0; i < patch->count; ++i) {
                if (results[i] == GRF_OK || results[i] == GRF_ERROR_CANCELLED) continue;
                const char* name = patch->entries[i].name;
                Complain(DisplayName(name) + ": " + EntryErrorText(results[i], name, folder));
                ++refused;
            }
            std::string why = GrfLastError == GRF_ERROR_CANCELLED
                                  ? ErrorText(GRF_ERROR_CANCELLED)
                                  : Count(refused, "entry", "entries") +
                                        " refused; every other entry was applied";
            Complain(o.patch + ": not applied in full: " + why);
            return kExitSomeFailed;
        }
        Note("files written into " + PathToUtf8(folder));
        return kExitDone;
    }
    if (info->mergeMode != GRF_PATCH_MERGE)
        return CannotRun(o.patch + ": merge mode " + std::to_string(info->mergeMode) +
                         " is neither 0 (loose files) nor 1 (merge); not applied");
    std::error_code error;
    if (fs::is_symlink(PathFromUtf8(o.archive), error))
        return CannotRun(o.archive + ": a symbolic link; not applied");
    // The patch's records are written after what the file holds and the
    // header switches to them last: a stop or a crash leaves the old file.
    Tally tally = TallyOf(archive.get(), patch.get());
    ProgressBegin("saving", tally.replaced + tally.added, 0);
    int32_t failed = GrfApplyPatch(archive.get(), patch.get(), EngineProgress);
    ProgressEnd();
    if (failed) {
        Complain(o.archive + ": not written: " + ErrorText(GrfLastError) +
                 "; the file is as it was");
        return kExitSomeFailed;
    }
    Note(o.archive + ": " + Count(tally.replaced, "entry", "entries") + " replaced, " +
         std::to_string(tally.added) + " added, " + std::to_string(tally.removed) + " removed");
    return kExitDone;
}

// ---------------------------------------------------------------------------
// patch verify

// One "path=0x%08x" line of the integrity list; false when it is not one.
bool ParseIntegrityLine(std::string line, std::string* name, uint32_t* crc) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t equals = line.rfind('=');
    if (equals == std::string::npos || equals == 0) return false;
    std::string value = line.substr(equals + 1);
    if (value.size() != 10 || (value.rfind("0x", 0) != 0 && value.rfind("0X", 0) != 0) ||
        value.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
        return false;
    *name = line.substr(0, equals);
    *crc = static_cast<uint32_t>(strtoul(value.c_str() + 2, nullptr, 16));
    return true;
}

uint32_t Crc32(const uint8_t* data, uint64_t size) {
    uLong crc = crc32(0, nullptr, 0);
    for (uint64_t done = 0; done < size;) {
        uInt piece = size - done > 0x40000000u ? 0x40000000u : static_cast<uInt>(size - done);
        crc = crc32(crc, data + done, piece);
        done += piece;
    }
    return static_cast<uint32_t>(crc);
}

// The CRC of a record's stored bytes, the form some packing tools list.
bool StoredCrc(GrfArchive* patch, const GrfEntry& record, uint32_t* crc) {
    uint32_t size = 0;
    Content stored(static_cast<uint8_t*>(GrfReadEntryRaw(patch, record.name, &size)));
    if (!stored) return false;
    *crc = Crc32(stored.get(), record.compressedSize);
    return true;
}

int RunVerifyPatch(const std::string& path) {
    std::string why;
    Archive patch = OpenArchive(PathFromUtf8(path), &why);
    if (!patch) return CannotRun(why);
    if (!GrfPatchOf(patch.get())) return CannotRun(path + ": not a patch file");
    GrfEntry* list = GrfFindEntry(patch.get(), kIntegrityName);
    if (!list || (list->state & GRF_ENTRY_REMOVAL))
        return CannotRun(path + ": no data.integrity list to check");
    uint32_t index = static_cast<uint32_t>(list - patch->entries);
    Content text;
    uint32_t size = 0;
    uint32_t code = ReadRecord(patch.get(), index, &text, &size);
    if (code != GRF_OK) return CannotRun(path + ": data.integrity: " + ErrorText(code));

    std::string lines(reinterpret_cast<const char*>(text.get()), size);
    size_t checked = 0, byStored = 0, failed = 0;
    for (size_t at = 0; at < lines.size();) {
        size_t end = lines.find('\n', at);
        if (end == std::string::npos) end = lines.size();
        std::string line = lines.substr(at, end - at);
        at = end + 1;
        if (line.empty() || line == "\r") continue;
        std::string name;
        uint32_t listed = 0;
        if (!ParseIntegrityLine(line, &name, &listed)) {
            Complain("data.integrity: not a line of the list: " + DisplayName(line.c_str()));
            ++failed;
            continue;
        }
        GrfEntry* record = GrfFindEntry(patch.get(), name.c_str());
        if (!record || (record->state & GRF_ENTRY_REMOVAL)) {
            Complain(DisplayName(name.c_str()) + ": listed, but the patch holds no such file");
            ++failed;
            continue;
        }
        Content content;
        uint32_t length = 0;
        code = ReadRecord(patch.get(), static_cast<uint32_t>(record - patch->entries), &content,
                          &length);
        if (code != GRF_OK) {
            Complain(DisplayName(name.c_str()) + ": " + ErrorText(code));
            ++failed;
            continue;
        }
        ++checked;
        if (Crc32(content.get(), length) == listed) continue;
        uint32_t stored = 0;
        if (StoredCrc(patch.get(), *record, &stored) && stored == listed) {
            ++byStored;
            continue;
        }
        char detail[64];
        snprintf(detail, sizeof detail, ": CRC-32 0x%08x, listed 0x%08x",
                 Crc32(content.get(), length), listed);
        Complain(DisplayName(name.c_str()) + detail);
        ++failed;
    }
    if (byStored)
        Note(Count(byStored, "file is", "files are") +
             " listed by the CRC-32 of the stored bytes rather than the content; they match");
    Note(Count(checked, "file", "files") + " checked, " + Count(failed, "failure", "failures"));
    return failed ? kExitSomeFailed : kExitDone;
}

}  // namespace

bool WritePatch(GrfArchive* table, const fs::path& out, uint8_t mergeMode,
                const std::string& target, bool integrity, std::string* why) {
    uint32_t total = table->count;
    ProgressBegin("writing", total, 0);
    int32_t failed = GrfWritePatch(table, EnginePath(out).c_str(), mergeMode, target.c_str(),
                                   integrity ? GRF_PATCH_WITH_INTEGRITY : 0, EngineProgress);
    ProgressEnd();
    if (failed == 0) return true;
    *why = GrfLastError == GRF_ERROR_NOT_FOUND && fs::exists(out)
               ? std::string("it exists; give a new name")
               : ErrorText(GrfLastError);
    return false;
}

void AddPatchCommands(CLI::App* app, int* exitCode) {
    CLI::App* patch = app->add_subcommand(
        "patch", "Patch files (THOR, RGZ): make one from a folder, apply, check or convert one");
    patch->require_subcommand(1);

    auto make = std::make_shared<MakeOptions>();
    CLI::App* m = patch->add_subcommand("make", "Pack a folder into a new patch file");
    m->add_option("DIR", make->folder, "the folder whose files the patch carries")->required();
    m->add_option("-o,--output", make->out,
                  "the patch file to write (must not exist); an RGZ when it ends in .rgz")
        ->required()
        ->type_name("OUT");
    m->add_option("--target", make->target, "the archive the patch merges into (default: none)")
        ->type_name("NAME");
    m->add_option("--prefix", make->prefix, "a folder name put before every file's name")
        ->type_name("P");
    m->add_option("--remove", make->removals, "a name the patch deletes (repeat for more)")
        ->type_name("NAME");
    m->add_flag("--loose", make->loose,
                "write the files into the client folder rather than merge them");
    m->add_flag("--integrity", make->integrity, "add a data.integrity list of CRC-32s");
    m->add_option("--level", make->level, "zlib level, 2 (fast) to 9 (small); default 3")
        ->type_name("L")
        ->check(CLI::Range(2, 9));
    m->callback([=] { *exitCode = RunMake(*make); });

    auto apply = std::make_shared<ApplyOptions>();
    CLI::App* a = patch->add_subcommand(
        "apply", "Apply a patch: merge it into ARCHIVE, or write its loose files beside ARCHIVE");
    a->add_option("PATCH", apply->patch, "the patch file")->required();
    a->add_option("ARCHIVE", apply->archive,
                  "the archive it applies to (changed in place); for an RGZ, the client folder")
        ->required();
    a->footer(
        "A merging patch replaces, adds and removes ARCHIVE's entries in place: its files\n"
        "and a new file list are written after what ARCHIVE holds and the header switches\n"
        "to them last, so a crash at any moment leaves the old archive or the patched one.\n"
        "A patch of loose files writes them (and deletes its removals) in ARCHIVE's folder;\n"
        "an entry refused there (a name that leaves the folder or passes through a link, or\n"
        "an archive open here) is named and left out, and every other entry is applied.\n"
        "An RGZ writes its files into the folder ARCHIVE: every name is checked first, then\n"
        "the files are written under temporary names and renamed into place in batches of\n"
        "64; on a failure caskw names the files applied and those not.");
    a->callback([=] { *exitCode = RunApply(*apply); });

    auto verify = std::make_shared<std::string>();
    CLI::App* v =
        patch->add_subcommand("verify", "Check a patch's files against its data.integrity list");
    v->add_option("PATCH", *verify, "the patch file")->required();
    v->callback([=] { *exitCode = RunVerifyPatch(*verify); });
    AddConvertCommand(patch, exitCode);
}

}  // namespace caskw
