// write_commands.cpp -- the commands that write archives: pack, add, rm,
// merge, repack. A new archive is written under a temporary name and
// renamed into place when complete; add and rm without -o save into the
// archive itself, where only the new bytes are written and the header
// switches to them last. Either way a failure or a crash leaves the old file
// (or none) and never half of a new one.
#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <sstream>

#include "archive_io.h"
#include "commands.h"
#include "console.h"
#include "errors.h"
#include "local_files.h"
#include "names.h"
#include "output.h"

namespace caskw {

namespace {

namespace fs = std::filesystem;

// Where an edited table goes: a new file with -o, else back over its archive.
struct Destination {
    std::string archive;
    std::string out;
    OutputOptions output;
};

void AddDestination(CLI::App* command, Destination* d) {
    command->add_option("-o,--output", d->out, "write a new archive instead of changing ARCHIVE")
        ->type_name("OUT");
    AddOutputOptions(command, &d->output, "the archive's own; only with -o");
}

fs::path Target(const Destination& d) {
    return PathFromUtf8(d.out.empty() ? d.archive : d.out);
}

bool CheckDestination(const Destination& d, const GrfArchive* archive) {
    if (d.out.empty() && !d.output.version.empty()) {
        Complain("--version needs -o OUT: an archive changed in place keeps its version");
        return false;
    }
    return CheckOutputOptions(d.output, ArchiveVersion(archive));
}

bool Write(const Destination& d, GrfArchive* archive) {
    std::string why;
    bool written = d.out.empty() ? SaveArchive(archive, PathFromUtf8(d.archive), &why)
                                 : WriteArchive(archive, PathFromUtf8(d.out), &why);
    if (!written) Complain(PathToUtf8(Target(d)) + ": not written: " + why);
    return written;
}

// ---------------------------------------------------------------------------
// pack

struct PackOptions {
    std::string folder;
    std::string out;
    std::string prefix;
    OutputOptions output;
};

int RunPack(const PackOptions& o) {
    fs::path folder = PathFromUtf8(o.folder);
    std::error_code error;
    if (!fs::is_directory(folder, error)) return CannotRun(o.folder + ": not a folder");
    if (!CheckOutputOptions(o.output, 0x200)) return kExitUsage;
    fs::path out = PathFromUtf8(o.out);
    std::vector<LocalFile> files;
    int failed = 0;
    CollectFolder(folder, o.prefix, out, &files, &failed);

    std::string why;
    Archive archive = CreateArchive(out, &why);
    if (!archive) return CannotRun(why);
    if (!AddLocalFiles(archive.get(), files, &why) || !WriteArchive(archive.get(), out, &why)) {
        Complain(o.out + ": not written: " + why);
        return kExitSomeFailed;
    }
    Note(Count(files.size(), "file", "files") + " packed into " + o.out +
         (failed ? "; " + Count(failed, "file", "files") + " left out" : ""));
    return failed ? kExitSomeFailed : kExitDone;
}

// ---------------------------------------------------------------------------
// add, rm

struct AddOptions {
    Destination d;
    std::vector<std::string> paths;
    std::string as;
    bool hasAs = false;
};

// A change in place holds its archive from reading it to the end.
bool LockInPlace(const Destination& d, ArchiveLock* lock, std::string* why) {
    return !d.out.empty() || LockArchive(PathFromUtf8(d.archive), lock, why);
}

int RunAdd(const AddOptions& o) {
    std::string why;
    ArchiveLock lock;
    if (!LockInPlace(o.d, &lock, &why)) return CannotRun(why);
    Archive archive = OpenArchive(PathFromUtf8(o.d.archive), &why);
    if (!archive) return CannotRun(why);
    if (!CheckDestination(o.d, archive.get())) return kExitUsage;
    fs::path target = Target(o.d);
    std::vector<LocalFile> files;
    int failed = 0;
    CollectPaths(o.paths, o.hasAs ? &o.as : nullptr, target, &files, &failed);
    if (files.empty()) {
        Complain("nothing to add; " + PathToUtf8(target) + " left as it was");
        return kExitSomeFailed;
    }
    size_t before = 0;
    for (uint32_t i = 0; i < archive->count; ++i)
        before += !(archive->entries[i].state & GRF_ENTRY_DELETED);
    if (!AddLocalFiles(archive.get(), files, &why)) {
        Complain(PathToUtf8(target) + ": not written: " + why);
        return kExitSomeFailed;
    }
    if (!Write(o.d, archive.get())) return kExitSomeFailed;
    size_t after = 0;
    for (uint32_t i = 0; i < archive->count; ++i)
        after += !(archive->entries[i].state & GRF_ENTRY_DELETED);
    size_t replaced = before + files.size() - after;
    Note(
        Count(files.size(), "file", "files") + " added to " + PathToUtf8(target) +
        (replaced ? " (" + std::to_string(replaced) + " replacing entries of the same name)" : ""));
    return failed ? kExitSomeFailed : kExitDone;
}

struct RemoveOptions {
    Destination d;
    std::vector<std::string> patterns;
};

int RunRemove(const RemoveOptions& o) {
    std::string why;
    ArchiveLock lock;
    if (!LockInPlace(o.d, &lock, &why)) return CannotRun(why);
    Archive archive = OpenArchive(PathFromUtf8(o.d.archive), &why);
    if (!archive) return CannotRun(why);
    if (!CheckDestination(o.d, archive.get())) return kExitUsage;
    std::vector<uint32_t> indices;
    int unmatched = 0;
    if (!SelectEntries(archive.get(), o.patterns, &indices, &unmatched)) return kExitUsage;
    if (indices.empty()) {
        Complain("nothing to remove; " + PathToUtf8(Target(o.d)) + " left as it was");
        return kExitSomeFailed;
    }
    for (uint32_t i : indices) archive->entries[i].state = GRF_ENTRY_DELETED;
    if (!Write(o.d, archive.get())) return kExitSomeFailed;
    Note(Count(indices.size(), "entry", "entries") + " removed from " + PathToUtf8(Target(o.d)));
    return unmatched ? kExitSomeFailed : kExitDone;
}

// ---------------------------------------------------------------------------
// merge, repack

// The archives a client's data.ini lists under [Data] as N=name, in the
// order to merge them: the client looks in the lowest number first, so that
// one must win and is merged last. Names are relative to the file's folder.
bool ReadDataIni(const std::string& typed, std::vector<std::string>* archives) {
    fs::path path = PathFromUtf8(typed);
    std::wstring wide;
    uint32_t count = 0;
    wchar_t* names = Utf8ToWide(typed, &wide) ? GrfReadDataIni(wide.c_str(), &count) : nullptr;
    if (!names) {
        Complain(typed + ": cannot be read");
        return false;
    }
    std::vector<std::string> listed;  // the client's order: the first wins
    for (const wchar_t* name = names; *name; name += wcslen(name) + 1)
        listed.push_back(WideToUtf8(name));
    GrfFreeBuffer(names);
    if (listed.empty()) {
        Complain(typed + ": lists no archive under [Data]");
        return false;
    }
    for (auto name = listed.rbegin(); name != listed.rend(); ++name)
        archives->push_back(PathToUtf8(path.parent_path() / PathFromUtf8(*name)));
    return true;
}

struct MergeOptions {
    std::string out;
    std::vector<std::string> archives;
    std::string dataIni;
    OutputOptions output;
};

int RunMerge(const MergeOptions& o) {
    std::vector<std::string> names = o.archives;
    if (!o.dataIni.empty() && !ReadDataIni(o.dataIni, &names)) return kExitUsage;
    if (names.empty()) return CannotRun("merge needs archives, or --data-ini FILE");
    std::vector<Archive> sources;
    std::string why;
    for (const std::string& name : names) {
        sources.push_back(OpenArchive(PathFromUtf8(name), &why));
        if (!sources.back()) return CannotRun(why);
    }
    if (!CheckOutputOptions(o.output, ArchiveVersion(sources.front().get()))) return kExitUsage;
    fs::path out = PathFromUtf8(o.out);
    Archive merged = CreateArchive(out, &why);
    if (!merged) return CannotRun(why);
    for (size_t i = 0; i < sources.size(); ++i) {
        GrfLastError = GRF_OK;
        if (GrfMerge(merged.get(), sources[i].get()) == 0 && GrfLastError != GRF_OK)
            return CannotRun(names[i] + ": not merged: " + ErrorText(GrfLastError));
    }
    if (!WriteArchive(merged.get(), out, &why)) {
        Complain(o.out + ": not written: " + why);
        return kExitSomeFailed;
    }
    Note(Count(sources.size(), "archive", "archives") + " merged into " + o.out + ", " +
         Count(merged->count, "entry", "entries"));
    return kExitDone;
}

struct RepackOptions {
    std::string archive;
    std::string out;
    OutputOptions output;
};

int RunRepack(const RepackOptions& o) {
    std::string why;
    Archive archive = OpenArchive(PathFromUtf8(o.archive), &why);
    if (!archive) return CannotRun(why);
    if (!CheckOutputOptions(o.output, ArchiveVersion(archive.get()))) return kExitUsage;
    if (!WriteArchive(archive.get(), PathFromUtf8(o.out), &why)) {
        Complain(o.out + ": not written: " + why);
        return kExitSomeFailed;
    }
    char version[16];
    snprintf(version, sizeof version, "0x%X", GrfRepackVersion);
    Note(Count(archive->count, "entry", "entries") + " written to " + o.out + " as " + version);
    return kExitDone;
}

}  // namespace

void AddWriteCommands(CLI::App* app, int* exitCode) {
    auto pack = std::make_shared<PackOptions>();
    CLI::App* p = app->add_subcommand(
        "pack", "Make a new archive of a folder's files, named by their paths inside it");
    p->add_option("DIR", pack->folder, "the folder")->required();
    p->add_option("-o,--output", pack->out, "the archive to write")->required()->type_name("OUT");
    p->add_option("--prefix", pack->prefix, "put P\\ in front of every name")->type_name("P");
    AddOutputOptions(p, &pack->output, "0x200");
    p->footer(R"(Each file is named by its path inside DIR with \ separators (after P\ with
--prefix), so extracting an archive and packing the folder gives the same
names. Names must be code page 949 text; %XX (XX from 80 to FF) stands for the
byte that extraction wrote that way. OUT is replaced only once it is complete.)");
    p->callback([=] { *exitCode = RunPack(*pack); });

    auto add = std::make_shared<AddOptions>();
    CLI::App* a =
        app->add_subcommand("add", "Add files and folders to an archive (same names are replaced)");
    a->add_option("ARCHIVE", add->d.archive, "the archive")->required();
    a->add_option("PATH", add->paths,
                  "files and folders, named by their paths as given (inside the current folder)")
        ->required();
    CLI::Option* as = a->add_option("--as", add->as,
                                    "name them PREFIX\\ followed by the file's name, or by the "
                                    "path inside the folder")
                          ->type_name("PREFIX");
    AddDestination(a, &add->d);
    a->footer(R"(Without --as, each PATH must lie inside the current folder, and names itself:
'caskw add data.grf data/sprite' adds data\sprite\... With --as, a file is
named PREFIX\ and its file name, a folder's files PREFIX\ and their path
inside it. ARCHIVE is changed in place: the files and a new file list are
written after what it holds and its header switches to them last, so a crash
at any moment leaves the old archive or the new one. With -o, ARCHIVE stays
as it is and OUT is written anew.)");
    a->callback([=] {
        add->hasAs = as->count() > 0;
        *exitCode = RunAdd(*add);
    });

    auto remove = std::make_shared<RemoveOptions>();
    CLI::App* r = app->add_subcommand("rm", "Remove the entries patterns match from an archive");
    r->add_option("ARCHIVE", remove->d.archive, "the archive")->required();
    r->add_option("PATTERN", remove->patterns, "entries to remove")->required();
    AddDestination(r, &remove->d);
    r->footer(kPatternHelp);
    r->callback([=] { *exitCode = RunRemove(*remove); });

    auto merge = std::make_shared<MergeOptions>();
    CLI::App* m = app->add_subcommand(
        "merge", "Merge archives into a new one; later archives win where names are the same");
    m->add_option("-o,--output", merge->out, "the archive to write")->required()->type_name("OUT");
    m->add_option("ARCHIVE", merge->archives, "archives, lowest priority first");
    m->add_option("--data-ini", merge->dataIni,
                  "merge the archives a game client's data.ini lists, after any ARCHIVE, in "
                  "the client's order (the lowest number wins)")
        ->type_name("FILE");
    AddOutputOptions(m, &merge->output, "the first archive's");
    m->callback([=] { *exitCode = RunMerge(*merge); });

    auto repack = std::make_shared<RepackOptions>();
    CLI::App* k = app->add_subcommand(
        "repack", "Write an archive anew: convert its version, leave out unused space");
    k->add_option("ARCHIVE", repack->archive, "the archive")->required();
    k->add_option("-o,--output", repack->out, "the archive to write")->required()->type_name("OUT");
    AddOutputOptions(k, &repack->output, "the archive's own");
    k->callback([=] { *exitCode = RunRepack(*repack); });
}

}  // namespace caskw
