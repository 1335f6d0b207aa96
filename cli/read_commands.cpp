// read_commands.cpp -- the commands that only read: info, list, cat, verify.
#include <stdio.h>

#include <algorithm>
#include <charconv>
#include <memory>
#include <nlohmann/json.hpp>

#include "archive_io.h"
#include "client_view.h"
#include "commands.h"
#include "console.h"
#include "content_hash.h"
#include "errors.h"
#include "names.h"
#include "output.h"
#include "pattern.h"
#include "progress.h"

namespace caskw {

namespace {

namespace fs = std::filesystem;

std::string Number(uint64_t value) {
    return std::to_string(value);
}

// ---------------------------------------------------------------------------
// info

int RunInfo(const std::string& path) {
    std::string why;
    Archive archive = OpenArchive(PathFromUtf8(path), &why);
    if (!archive) return CannotRun(why);
    uint64_t stored = 0, real = 0;
    for (uint32_t i = 0; i < archive->count; ++i) {
        stored += archive->entries[i].alignedSize;
        real += archive->entries[i].realSize;
    }
    std::error_code error;
    uintmax_t fileSize = fs::file_size(PathFromUtf8(path), error);
    if (const GrfPatchInfo* patch = GrfPatchOf(archive.get())) {
        // A patch file has no version; what it says of itself instead.
        Out(std::string("patch: ") +
            (patch->layout == GRF_PATCH_LAYOUT_RGZ ? "RGZ, files for the client folder"
             : patch->mergeMode == GRF_PATCH_MERGE ? "merge into an archive"
             : patch->mergeMode == GRF_PATCH_LOOSE ? "loose files"
                                                   : "unknown merge mode") +
            "\n");
        Out("target: " + ShownName(patch->target) + "\n");
    } else {
        char version[16];
        snprintf(version, sizeof version, "0x%X", ArchiveVersion(archive.get()));
        Out("version: " + std::string(version) + "\n");
    }
    Out("entries: " + Number(archive->count) + "\n");
    if (!error) Out("file size: " + Number(fileSize) + "\n");
    Out("stored bytes: " + Number(stored) + "\n");
    Out("real bytes: " + Number(real) + "\n");
    Out("unused bytes: " + Number(GrfUnusedBytes(archive.get())) + "\n");
    // Found only by their first bytes: one small read per entry.
    if (!GrfPatchOf(archive.get()))
        Out("keyed entries: " + Number(GrfCountKeyed(archive.get(), nullptr)) + "\n");
    return kExitDone;
}

// ---------------------------------------------------------------------------
// list

struct ListOptions {
    ClientChoice client;
    std::string archive;
    std::vector<std::string> patterns;
    bool long_ = false;
    bool json = false;
    std::string sort;
    std::string hash;
};

void SortEntries(const GrfArchive* archive, const std::string& key, std::vector<uint32_t>* indices,
                 std::vector<std::string>* names) {
    if (key.empty()) return;
    std::vector<size_t> order(indices->size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto entry = [&](size_t i) -> const GrfEntry& { return archive->entries[(*indices)[i]]; };
    if (key == "name")
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return (*names)[a] < (*names)[b]; });
    else if (key == "size")
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return entry(a).realSize < entry(b).realSize; });
    else
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return entry(a).position < entry(b).position; });
    std::vector<uint32_t> sortedIndices(order.size());
    std::vector<std::string> sortedNames(order.size());
    for (size_t i = 0; i < order.size(); ++i) {
        sortedIndices[i] = (*indices)[order[i]];
        sortedNames[i] = std::move((*names)[order[i]]);
    }
    *indices = std::move(sortedIndices);
    *names = std::move(sortedNames);
}

}  // namespace

std::string EntryJson(const GrfEntry& entry, const std::string& name,
                      const nlohmann::ordered_json& extra) {
    nlohmann::ordered_json object = {
        {"name", name},
        {"name_hex", HexBytes(entry.name)},
        {"compressed_size", entry.compressedSize},
        {"aligned_size", entry.alignedSize},
        {"real_size", entry.realSize},
        {"position", entry.position},
        {"type", entry.type},
        {"cycle", entry.cycle},
        {"state", entry.state},
    };
    object.update(extra);
    return object.dump(-1, ' ', false);
}

namespace {

// value right-aligned in width columns, then a space.
void AppendNumber(int64_t value, size_t width, std::string* text) {
    char digits[24];
    auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    size_t length = static_cast<size_t>(end - digits);
    if (length < width) text->append(width - length, ' ');
    text->append(digits, length);
    text->push_back(' ');
}

}  // namespace

void AppendLongFields(const GrfEntry& entry, std::string* text) {
    AppendNumber(entry.realSize, 10, text);
    AppendNumber(entry.compressedSize, 10, text);
    AppendNumber(static_cast<int64_t>(entry.position), 10, text);
    AppendNumber(entry.cycle, 3, text);
    text->push_back(' ');
}

namespace {

int RunList(ListOptions o) {
    if (!o.hash.empty() && !o.json) return CannotRun("--hash needs --json");
    if (o.client.Given()) {  // what took ARCHIVE's place is a pattern
        if (!o.archive.empty()) o.patterns.insert(o.patterns.begin(), o.archive);
        return RunClientList(o.client, o.patterns, o.long_, o.json, o.hash);
    }
    if (o.archive.empty()) return CannotRun("list needs ARCHIVE or --client DIR");
    std::string why;
    Archive archive = OpenArchive(PathFromUtf8(o.archive), &why);
    if (!archive) return CannotRun(why);
    std::vector<uint32_t> indices;
    int unmatched = 0;
    if (!SelectEntries(archive.get(), o.patterns, &indices, &unmatched)) return kExitUsage;
    // Names are printed as they are made unless they are sorted first: half
    // a million of them cost no more than the table they come from.
    std::vector<std::string> names;
    if (!o.sort.empty()) {
        names.resize(indices.size());
        for (size_t i = 0; i < indices.size(); ++i)
            names[i] = DisplayName(archive->entries[indices[i]].name);
        SortEntries(archive.get(), o.sort, &indices, &names);
    }

    std::vector<ContentHash> hashes;
    int failed = 0;
    if (!o.hash.empty() && !HashRecords(archive.get(), indices, HashKindOf(o.hash), &hashes))
        return CannotRun("interrupted");

    std::string text, name;
    if (o.json) text = "[";
    for (size_t i = 0; i < indices.size(); ++i) {
        const GrfEntry& entry = archive->entries[indices[i]];
        name.clear();
        if (names.empty())
            AppendDisplayName(entry.name, &name);
        else
            name.swap(names[i]);
        if (o.json) {
            text += i ? ",\n" : "\n";
            nlohmann::ordered_json extra = nlohmann::ordered_json::object();
            if (!o.hash.empty()) {
                const ContentHash& h = hashes[i];
                extra[o.hash] =
                    HashField(h.code, o.hash == "crc32" ? h.crc32 : h.sha256, name, &failed);
            }
            text += EntryJson(entry, name, extra);
        } else {
            if (o.long_) AppendLongFields(entry, &text);
            EscapeControls(&name);
            text += name;
            text += '\n';
        }
        if (text.size() >= 1 << 16) {
            Out(text);
            text.clear();
        }
    }
    if (o.json) text += indices.empty() ? "]\n" : "\n]\n";
    Out(text);
    if (!OutFlush()) return CannotRun("standard output could not be written");
    return unmatched || failed ? kExitSomeFailed : kExitDone;
}

// ---------------------------------------------------------------------------
// cat

// The record a typed name means: the same name exactly, else the only one
// equal without regard to case. -1 with a complaint when there is none, or
// more than one.
int64_t FindNamed(GrfArchive* archive, const std::string& typed) {
    std::string stored;
    if (ArchiveName(typed, &stored)) {
        GrfEntry* entry = GrfFindEntry(archive, stored.c_str());
        if (entry) return entry - archive->entries;
    }
    std::string wanted = typed;
    std::replace(wanted.begin(), wanted.end(), '/', '\\');
    std::u32string folded = FoldName(wanted);
    int64_t found = -1;
    for (uint32_t i = 0; i < archive->count; ++i) {
        if (FoldName(DisplayName(archive->entries[i].name)) != folded) continue;
        if (found >= 0 && strcmp(archive->entries[found].name, archive->entries[i].name) != 0) {
            Complain(typed +
                     ": more than one entry has this name when case is ignored; give it "
                     "exactly");
            return -1;
        }
        if (found < 0) found = i;
    }
    if (found < 0) Complain(typed + ": no such entry");
    return found;
}

int RunCat(const std::string& path, const std::string& name) {
    std::string why;
    Archive archive = OpenArchive(PathFromUtf8(path), &why);
    if (!archive) return CannotRun(why);
    int64_t index = FindNamed(archive.get(), name);
    if (index < 0) return kExitSomeFailed;
    Content content;
    uint32_t size = 0;
    uint32_t code = ReadRecord(archive.get(), static_cast<uint32_t>(index), &content, &size);
    if (code != GRF_OK) {
        Complain(DisplayName(archive->entries[index].name) + ": " + ErrorText(code));
        return kExitSomeFailed;
    }
    OutBytes(content.get(), size);
    if (!OutFlush()) return CannotRun("standard output could not be written");
    return kExitDone;
}

// ---------------------------------------------------------------------------
// verify

int RunVerify(const std::string& path, const std::vector<std::string>& patterns) {
    std::string why;
    Archive archive = OpenArchive(PathFromUtf8(path), &why);
    if (!archive) return CannotRun(why);
    std::vector<uint32_t> indices;
    int unmatched = 0;
    if (!SelectEntries(archive.get(), patterns, &indices, &unmatched)) return kExitUsage;
    uint64_t bytes = 0, done = 0;
    for (uint32_t i : indices) bytes += archive->entries[i].alignedSize;
    ProgressBegin("verifying", indices.size(), bytes);
    size_t failed = 0, read = 0;
    std::vector<uint32_t> stored;
    for (uint32_t i : indices) {
        if (archive->entries[i].state & GRF_ENTRY_REMOVAL)  // a patch's: nothing to read
            ++read;
        else
            stored.push_back(i);
    }
    if (!Interrupted())
        ReadRecords(
            archive.get(), stored, [&](uint32_t i, const uint8_t*, uint32_t, uint32_t code) {
                if (code != GRF_OK) {
                    Complain(DisplayName(archive->entries[i].name) + ": " + ErrorText(code));
                    ++failed;
                }
                ++read;
                done += archive->entries[i].alignedSize;
                ProgressUpdate(read, done);
                return !Interrupted();
            });
    ProgressEnd();
    if (read < indices.size()) return CannotRun("interrupted");
    Note(Number(read - failed) + " of " + Number(read) + " entries read" +
         (failed ? "; " + Number(failed) + " do not" : ""));
    return failed || unmatched ? kExitSomeFailed : kExitDone;
}

}  // namespace

void AddReadCommands(CLI::App* app, int* exitCode) {
    auto archive = std::make_shared<std::string>();
    CLI::App* info =
        app->add_subcommand("info", "Show an archive's version, entry count and sizes");
    info->add_option("ARCHIVE", *archive, "the archive")->required();
    info->callback([=] { *exitCode = RunInfo(*archive); });

    auto list = std::make_shared<ListOptions>();
    CLI::App* ls = app->add_subcommand("list", "List entries, in table order unless sorted");
    ls->add_option("ARCHIVE", list->archive, "the archive");
    AddClientOptions(ls, &list->client);
    ls->add_option("PATTERN", list->patterns, "only entries these patterns match");
    ls->add_flag("-l,--long", list->long_,
                 "real size, compressed size, position and cipher cycle before each name");
    ls->add_flag("--json", list->json,
                 "one JSON array: name, name_hex, compressed_size, aligned_size, real_size, "
                 "position, type, cycle, state (with --client also source, hidden_copies)");
    ls->add_option("--hash", list->hash,
                   "with --json: add the CRC-32 or SHA-256 of each entry's content, read on "
                   "every core")
        ->check(CLI::IsMember({"crc32", "sha256"}))
        ->type_name("ALGO");
    ls->add_option("--sort", list->sort, "sort by name, size (real) or offset (position)")
        ->check(CLI::IsMember({"name", "size", "offset"}))
        ->type_name("KEY");
    ls->footer(kPatternHelp);
    ls->callback([=] { *exitCode = RunList(*list); });

    auto name = std::make_shared<std::string>();
    auto catClient = std::make_shared<ClientChoice>();
    CLI::App* cat = app->add_subcommand("cat", "Write one entry's content to standard output");
    cat->add_option("ARCHIVE", *archive, "the archive");
    cat->add_option("NAME", *name, "the entry's name (case is ignored when it is unambiguous)");
    AddClientOptions(cat, catClient.get());
    cat->callback([=] {
        if (catClient->Given())  // the one name given took ARCHIVE's place
            *exitCode = !name->empty() || archive->empty()
                            ? CannotRun("cat --client DIR takes one NAME")
                            : RunClientCat(*catClient, *archive);
        else
            *exitCode =
                name->empty() ? CannotRun("cat needs ARCHIVE and NAME") : RunCat(*archive, *name);
    });

    auto patterns = std::make_shared<std::vector<std::string>>();
    auto verifyClient = std::make_shared<ClientChoice>();
    CLI::App* verify =
        app->add_subcommand("verify", "Read every entry; name those that do not read, and why");
    verify->add_option("ARCHIVE", *archive, "the archive");
    verify->add_option("PATTERN", *patterns, "only entries these patterns match");
    AddClientOptions(verify, verifyClient.get());
    verify->footer(kPatternHelp);
    verify->callback([=] {
        if (verifyClient->Given()) {  // what took ARCHIVE's place is a pattern
            if (!archive->empty()) patterns->insert(patterns->begin(), *archive);
            *exitCode = RunClientVerify(*verifyClient, *patterns);
        } else {
            *exitCode = archive->empty() ? CannotRun("verify needs ARCHIVE or --client DIR")
                                         : RunVerify(*archive, *patterns);
        }
    });
}

}  // namespace caskw
