// rgz_commands.cpp -- RGZ patch files: made from a folder, applied into a
// client folder as a whole, and converted to and from THOR.
#include <ctype.h>

#include <memory>

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

namespace fs = std::filesystem;

bool IsRgzPath(const std::string& path) {
    if (path.size() < 4) return false;
    std::string end = path.substr(path.size() - 4);
    for (char& c : end) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    return end == ".rgz";
}

bool IsRgz(const GrfArchive* archive) {
    const GrfPatchInfo* info = GrfPatchOf(archive);
    return info && info->layout == GRF_PATCH_LAYOUT_RGZ;
}

bool WriteRgz(GrfArchive* table, const fs::path& out, std::string* why) {
    ProgressBegin("writing", table->count, 0);
    int32_t failed = GrfWriteRgz(table, EnginePath(out).c_str(), EngineProgress);
    ProgressEnd();
    if (failed == 0) return true;
    std::error_code error;
    *why = GrfLastError == GRF_ERROR_NOT_FOUND && fs::exists(out, error)
               ? std::string("it exists; give a new name")
               : ErrorText(GrfLastError);
    return false;
}

int MakeRgz(const std::string& folderText, const std::string& prefix, const std::string& outText) {
    fs::path folder = PathFromUtf8(folderText), out = PathFromUtf8(outText);
    std::vector<LocalFile> files;
    int failed = 0;
    CollectFolder(folder, prefix, out, &files, &failed);
    if (files.empty()) return CannotRun(folderText + ": nothing to pack");
    std::string why;
    Archive table = CreateArchive(out, &why);
    if (!table) return CannotRun(why);
    if (!AddLocalFiles(table.get(), files, &why) || !WriteRgz(table.get(), out, &why)) {
        Complain(outText + ": not written: " + why);
        return kExitSomeFailed;
    }
    Note(Count(files.size(), "file", "files") + " written to " + outText +
         (failed ? "; " + Count(failed, "file", "files") + " left out" : ""));
    return failed ? kExitSomeFailed : kExitDone;
}

int ApplyRgz(GrfArchive* patch, const std::string& patchText, const std::string& folderText) {
    fs::path folder = PathFromUtf8(folderText);
    std::error_code error;
    if (!fs::is_directory(folder, error)) return CannotRun(folderText + ": not a folder");
    std::vector<uint32_t> files;
    for (uint32_t i = 0; i < patch->count; ++i)
        if (!(patch->entries[i].state & GRF_ENTRY_REMOVAL)) files.push_back(i);
    uint32_t applied = 0;
    ProgressBegin("writing", files.size(), 0);
    int32_t failed = GrfApplyFiles(patch, EnginePath(fs::absolute(folder, error)).c_str(),
                                   EngineProgress, &applied);
    ProgressEnd();
    if (!failed) {
        Note(Count(applied, "file", "files") + " written into " + folderText);
        return kExitDone;
    }
    uint32_t code = GrfLastError;
    Complain(patchText + ": " + ErrorText(code));
    if (applied == 0) {
        Complain("nothing was applied: " + folderText + " is as it was");
        return kExitSomeFailed;
    }
    Complain(Count(applied, "file was", "files were") + " applied, " +
             std::to_string(files.size() - applied) + " not:");
    for (size_t k = 0; k < files.size(); ++k)
        Complain(std::string(k < applied ? "  applied: " : "  not applied: ") +
                 DisplayName(patch->entries[files[k]].name));
    return kExitSomeFailed;
}

namespace {

struct ConvertOptions {
    std::string in;
    std::string out;
};

int RunConvert(const ConvertOptions& o) {
    std::string why;
    Archive patch = OpenArchive(PathFromUtf8(o.in), &why);
    if (!patch) return CannotRun(why);
    const GrfPatchInfo* info = GrfPatchOf(patch.get());
    if (!info) return CannotRun(o.in + ": not a patch file");
    fs::path out = PathFromUtf8(o.out);
    if (IsRgzPath(o.out)) {
        size_t removals = 0;
        for (uint32_t i = 0; i < patch->count; ++i)
            removals += (patch->entries[i].state & GRF_ENTRY_REMOVAL) != 0;
        if (!WriteRgz(patch.get(), out, &why)) {
            Complain(o.out + ": not written: " + why);
            return kExitSomeFailed;
        }
        if (removals)
            Complain(Count(removals, "removal", "removals") +
                     " of the patch left out: an RGZ cannot remove files");
        return removals ? kExitSomeFailed : kExitDone;
    }
    // An RGZ's files go into the client folder: a patch of loose files.
    bool rgz = IsRgz(patch.get());
    uint8_t mode = rgz ? uint8_t{GRF_PATCH_LOOSE} : info->mergeMode;
    std::string target = rgz ? std::string() : std::string(info->target);
    if (!WritePatch(patch.get(), out, mode, target, false, &why)) {
        Complain(o.out + ": not written: " + why);
        return kExitSomeFailed;
    }
    return kExitDone;
}

}  // namespace

void AddConvertCommand(CLI::App* patch, int* exitCode) {
    auto convert = std::make_shared<ConvertOptions>();
    CLI::App* c = patch->add_subcommand("convert", "Convert a patch between RGZ and THOR");
    c->add_option("PATCH", convert->in, "the patch file (RGZ or THOR)")->required();
    c->add_option("-o,--output", convert->out,
                  "the file to write (must not exist): an RGZ when it ends in .rgz, else a THOR")
        ->required()
        ->type_name("OUT");
    c->footer(
        "An RGZ becomes a THOR of loose files (written into the client folder); a THOR's\n"
        "removals cannot go into an RGZ and are left out, named with exit code 1.");
    c->callback([=] { *exitCode = RunConvert(*convert); });
}

}  // namespace caskw
