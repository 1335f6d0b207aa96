// commands.cpp -- what the subcommands share.
#include "commands.h"

#include <stdlib.h>

#include "archive_io.h"
#include "names.h"
#include "output.h"
#include "pattern.h"

namespace caskw {

const char kPatternHelp[] =
    R"(PATTERN matches an entry's whole path without regard to case: * and ? stay
within one folder, ** crosses folders (data/sprite/**/*.spr), either separator
may be typed, and a pattern without a separator matches the last component
(*.spr), as the window's filter does. Quote patterns so the shell leaves them
alone. A pattern that matches nothing is named and makes the exit code 1.)";

int CannotRun(const std::string& why) {
    Complain(why);
    return kExitUsage;
}

bool SelectEntries(GrfArchive* archive, const std::vector<std::string>& patterns,
                   std::vector<uint32_t>* indices, int* unmatched) {
    indices->clear();
    if (patterns.empty()) {
        indices->reserve(archive->count);
        for (uint32_t i = 0; i < archive->count; ++i) indices->push_back(i);
        return true;
    }
    std::vector<Pattern> compiled(patterns.size());
    for (size_t p = 0; p < patterns.size(); ++p) {
        if (!MakePattern(patterns[p], &compiled[p])) {
            Complain("the pattern is not UTF-8 text: " + patterns[p]);
            return false;
        }
    }
    std::vector<bool> used(patterns.size(), false);
    std::string shown;
    std::u32string name;
    for (uint32_t i = 0; i < archive->count; ++i) {
        shown.clear();
        AppendDisplayName(archive->entries[i].name, &shown);
        FoldNameInto(shown, &name);
        bool selected = false;
        for (size_t p = 0; p < compiled.size(); ++p) {
            if (!Matches(compiled[p], name)) continue;
            used[p] = true;
            selected = true;
        }
        if (selected) indices->push_back(i);
    }
    for (size_t p = 0; p < patterns.size(); ++p) {
        if (used[p]) continue;
        Complain("no entry matches " + patterns[p]);
        ++*unmatched;
    }
    return true;
}

bool ParseVersion(const std::string& text, uint32_t* version) {
    std::string digits = text;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits.erase(0, 2);
    if (digits.empty() || digits.size() > 8 ||
        digits.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos)
        return false;
    *version = static_cast<uint32_t>(strtoul(digits.c_str(), nullptr, 16));
    return true;
}

namespace {

std::string WritableVersions() {
    // Asked of the engine, so a version it learns to write shows up here.
    uint32_t kept = GrfRepackVersion;
    std::string list;
    for (uint32_t v = 0x100; v < 0x400; ++v) {
        if (!SetOutputVersion(v)) continue;
        char text[16];
        snprintf(text, sizeof text, "%s0x%X", list.empty() ? "" : ", ", v);
        list += text;
    }
    GrfRepackVersion = kept;
    return list;
}

}  // namespace

void AddOutputOptions(CLI::App* command, OutputOptions* options, const char* versionDefault) {
    command
        ->add_option("--version", options->version,
                     "format version to write, hexadecimal: " + WritableVersions() +
                         " (default: " + versionDefault + ")")
        ->type_name("V");
    command
        ->add_option("--level", options->level,
                     "zlib level for files compressed anew, 2 (fast) to 9 (small); default 3")
        ->type_name("L")
        ->check(CLI::Range(2, 9));
}

bool CheckOutputOptions(const OutputOptions& options, uint32_t defaultVersion) {
    uint32_t version = defaultVersion;
    if (!options.version.empty() && !ParseVersion(options.version, &version)) {
        Complain("--version takes a hexadecimal version such as 0x200, not " + options.version);
        return false;
    }
    if (!SetOutputVersion(version)) {
        char text[128];
        snprintf(text, sizeof text, "version 0x%X is not one Caskwright writes; it writes ",
                 version);
        Complain(text + WritableVersions());
        return false;
    }
    if (options.level != 0 && !SetOutputLevel(options.level)) {
        Complain("--level takes 2 to 9");
        return false;
    }
    return true;
}

}  // namespace caskw
