// extract_command.cpp -- extract: entries to files under a folder, with the
// engine's safe extraction (no name leaves the folder, nothing is written
// through a link, a failure leaves no partial file).
#include <algorithm>
#include <memory>

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

struct ExtractOptions {
    ClientChoice client;
    std::string archive;
    std::vector<std::string> patterns;
    std::string folder = ".";
    uint32_t threads = 0;
    bool keep = false;
};

// Leaves out the records whose file is there already; returns how many.
size_t DropExisting(const GrfArchive* archive, std::vector<uint32_t>* indices) {
    size_t before = indices->size();
    auto exists = [&](uint32_t i) {
        std::error_code error;
        return fs::exists(fs::symlink_status(RecordFilePath(archive->entries[i]), error));
    };
    indices->erase(std::remove_if(indices->begin(), indices->end(), exists), indices->end());
    return before - indices->size();
}

int RunExtract(ExtractOptions o) {
    if (o.client.Given()) {  // what took ARCHIVE's place is a pattern
        if (!o.archive.empty()) o.patterns.insert(o.patterns.begin(), o.archive);
        return RunClientExtract(o.client, o.patterns, o.folder, o.keep);
    }
    if (o.archive.empty()) return CannotRun("extract needs ARCHIVE or --client DIR");
    std::string why;
    Archive archive = OpenArchive(PathFromUtf8(o.archive), &why);
    if (!archive) return CannotRun(why);
    std::vector<uint32_t> indices;
    int unmatched = 0;
    if (!SelectEntries(archive.get(), o.patterns, &indices, &unmatched)) return kExitUsage;
    // A patch's removal records name files to delete: nothing to write.
    std::erase_if(indices,
                  [&](uint32_t i) { return (archive->entries[i].state & GRF_ENTRY_REMOVAL) != 0; });

    fs::path folder = PathFromUtf8(o.folder);
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error) fs::current_path(folder, error);
    if (error) return CannotRun(o.folder + ": " + error.message());
    size_t kept = o.keep ? DropExisting(archive.get(), &indices) : 0;

    uint64_t bytes = 0;
    for (uint32_t i : indices) bytes += archive->entries[i].realSize;
    std::vector<uint32_t> results;
    ProgressBegin("extracting", indices.size(), bytes);
    ExtractRecords(archive.get(), indices, o.threads, &results);
    ProgressEnd();

    size_t written = 0, failed = 0, stopped = 0;
    for (size_t i = 0; i < indices.size(); ++i) {
        if (results[i] == GRF_OK) {
            ++written;
        } else if (results[i] == GRF_ERROR_CANCELLED) {
            ++stopped;
        } else {
            const char* name = archive->entries[indices[i]].name;
            Complain(DisplayName(name) + ": " + EntryErrorText(results[i], name, "."));
            ++failed;
        }
    }
    if (stopped) Complain("interrupted: " + Count(stopped, "entry", "entries") + " not extracted");
    std::string summary =
        std::to_string(written) + (written == 1 ? " file" : " files") + " extracted to " + o.folder;
    if (kept) summary += "; " + std::to_string(kept) + " already there, left as they were";
    if (failed) summary += "; " + std::to_string(failed) + " failed";
    Note(summary);
    return failed || stopped || unmatched ? kExitSomeFailed : kExitDone;
}

}  // namespace

void AddExtractCommand(CLI::App* app, int* exitCode) {
    auto o = std::make_shared<ExtractOptions>();
    CLI::App* extract =
        app->add_subcommand("extract", "Extract entries to files under a folder, at their paths");
    extract->add_option("ARCHIVE", o->archive, "the archive");
    AddClientOptions(extract, &o->client);
    extract->add_option("PATTERN", o->patterns, "only entries these patterns match");
    extract->add_option("-C,--directory", o->folder, "the folder to extract into (default: here)")
        ->type_name("DIR");
    extract
        ->add_option("-j,--threads", o->threads, "threads to extract with (default: one per core)")
        ->type_name("N")
        ->check(CLI::Range(1, 1024));
    extract->add_flag("--keep", o->keep, "leave files that are already there as they are");
    extract->footer(kPatternHelp);
    extract->callback([=] { *exitCode = RunExtract(*o); });
}

}  // namespace caskw
