// manifest_commands.cpp -- manifests: every name a client (or a set of
// archives) gives, with its size, CRC-32, SHA-256 and source, written as
// JSON; and the check of a client or archives against one, naming what is
// missing, different and extra.
#include <stdio.h>

#include <fstream>
#include <map>
#include <memory>

#include "archive_io.h"
#include "client_view.h"
#include "commands.h"
#include "console.h"
#include "content_hash.h"
#include "errors.h"
#include "names.h"
#include "output.h"
#include "pattern.h"

namespace caskw {

namespace {

namespace fs = std::filesystem;

struct ViewOptions {
    std::vector<std::string> archives;
    ClientChoice client;
};

void AddViewOptions(CLI::App* command, ViewOptions* o) {
    command->add_option("ARCHIVE", o->archives,
                        "archives, the first winning where names are the same");
    AddClientOptions(command, &o->client);
}

// The client, or the archives as a view of their own (the first wins).
Client OpenView(const ViewOptions& o, std::string* why) {
    if (o.client.Given() == !o.archives.empty()) {
        *why = "give ARCHIVE... or --client DIR (one of the two)";
        return nullptr;
    }
    return o.client.Given() ? OpenClient(o.client, why) : OpenArchivesView(o.archives, why);
}

struct Listed {
    uint32_t size = 0;
    std::string crc32;
    std::string sha256;
    std::string source;
};

// Every name of the view with its hashes, by display name. False (after a
// complaint for each) when some name did not read.
bool Survey(GrfClient* view, std::map<std::string, Listed>* names, bool* interrupted) {
    std::vector<uint32_t> all(view->nameCount);
    for (uint32_t n = 0; n < view->nameCount; ++n) all[n] = n;
    std::vector<ContentHash> hashes;
    *interrupted = !HashClientNames(view, all, kHashCrc32 | kHashSha256, &hashes);
    bool whole = true;
    for (uint32_t n = 0; n < view->nameCount; ++n) {
        std::string name = DisplayName(Winner(view, n).name);
        if (hashes[n].code != GRF_OK) {
            Complain(name + ": " + ErrorText(hashes[n].code));
            whole = false;
            continue;
        }
        (*names)[name] = Listed{hashes[n].size, hashes[n].crc32, hashes[n].sha256,
                                SourceName(view, view->names[n].source)};
    }
    return whole;
}

// ---------------------------------------------------------------------------
// manifest

struct MakeOptions {
    ViewOptions view;
    std::string out;
};

int RunManifest(const MakeOptions& o) {
    if (o.out.empty()) return CannotRun("manifest needs -o FILE.json");
    std::string why;
    Client view = OpenView(o.view, &why);
    if (!view) return CannotRun(why);
    std::map<std::string, Listed> names;
    bool interrupted = false;
    bool whole = Survey(view.get(), &names, &interrupted);
    if (interrupted) return CannotRun("interrupted");
    nlohmann::ordered_json entries = nlohmann::ordered_json::array();
    for (const auto& [name, l] : names)
        entries.push_back({{"name", name},
                           {"size", l.size},
                           {"crc32", l.crc32},
                           {"sha256", l.sha256},
                           {"source", l.source}});
    nlohmann::ordered_json manifest = {{"manifest", 1}, {"entries", entries}};
    // Written whole under another name, then renamed: never half a file.
    fs::path target = PathFromUtf8(o.out);
    fs::path scratch = ScratchPath(target, "json");
    {
        std::ofstream file(scratch, std::ios::binary | std::ios::trunc);
        file << manifest.dump(1) << "\n";
        if (!file.flush()) {
            std::error_code ignored;
            fs::remove(scratch, ignored);
            return CannotRun(o.out + ": could not be written");
        }
    }
    std::error_code error;
    fs::rename(scratch, target, error);
    if (error) {
        fs::remove(scratch, error);
        return CannotRun(o.out + ": could not be written");
    }
    Note(Count(names.size(), "name", "names") + " written to " + o.out);
    return whole ? kExitDone : kExitSomeFailed;
}

// ---------------------------------------------------------------------------
// manifest check

struct CheckOptions {
    std::string manifest;
    ViewOptions view;
    bool json = false;
};

bool ReadManifest(const std::string& path, std::map<std::string, Listed>* names, std::string* why) {
    std::ifstream file(PathFromUtf8(path), std::ios::binary);
    if (!file) {
        *why = path + ": cannot be read";
        return false;
    }
    nlohmann::json manifest = nlohmann::json::parse(file, nullptr, false);
    if (manifest.is_discarded() || !manifest.is_object() || !manifest.contains("entries") ||
        !manifest["entries"].is_array()) {
        *why = path + ": not a manifest (a JSON object with \"entries\")";
        return false;
    }
    for (const auto& entry : manifest["entries"]) {
        if (!entry.is_object() || !entry.contains("name") || !entry["name"].is_string() ||
            !entry.contains("size") || !entry["size"].is_number_unsigned()) {
            *why = path + ": an entry without name or size";
            return false;
        }
        Listed l;
        l.size = entry["size"].get<uint32_t>();
        if (entry.contains("crc32") && entry["crc32"].is_string()) l.crc32 = entry["crc32"];
        if (entry.contains("sha256") && entry["sha256"].is_string()) l.sha256 = entry["sha256"];
        (*names)[entry["name"].get<std::string>()] = l;
    }
    return true;
}

// The form names are compared in: as the client compares them.
std::string Key(const std::string& name) {
    std::string key;
    std::u32string folded;
    FoldNameInto(name, &folded);
    for (char32_t c : folded) AppendUtf8(c, &key);
    return key;
}

std::string Difference(const Listed& was, const Listed& now) {
    if (was.size != now.size)
        return "size " + std::to_string(now.size) + ", was " + std::to_string(was.size);
    if (!was.sha256.empty() && was.sha256 != now.sha256) return "SHA-256 differs";
    if (!was.crc32.empty() && was.crc32 != now.crc32) return "CRC-32 differs";
    return "";
}

int RunCheck(const CheckOptions& o) {
    std::map<std::string, Listed> listed, found;
    std::string why;
    if (!ReadManifest(o.manifest, &listed, &why)) return CannotRun(why);
    Client view = OpenView(o.view, &why);
    if (!view) return CannotRun(why);
    bool interrupted = false;
    bool whole = Survey(view.get(), &found, &interrupted);
    if (interrupted) return CannotRun("interrupted");
    std::map<std::string, std::string> foundByKey;
    for (const auto& [name, l] : found) foundByKey[Key(name)] = name;
    std::map<std::string, bool> seen;
    nlohmann::ordered_json missing = nlohmann::ordered_json::array();
    nlohmann::ordered_json different = nlohmann::ordered_json::array();
    nlohmann::ordered_json extra = nlohmann::ordered_json::array();
    std::string text;
    for (const auto& [name, was] : listed) {
        auto at = foundByKey.find(Key(name));
        if (at == foundByKey.end()) {
            missing.push_back(name);
            text += "missing: " + name + "\n";
            continue;
        }
        seen[at->second] = true;
        const Listed& now = found[at->second];
        std::string how = Difference(was, now);
        if (how.empty()) continue;
        different.push_back({{"name", name}, {"why", how}, {"source", now.source}});
        text += "different: " + name + " (" + how + "; from " + now.source + ")\n";
    }
    for (const auto& [name, now] : found) {
        if (seen.count(name)) continue;
        extra.push_back({{"name", name}, {"source", now.source}});
        text += "extra: " + name + " (from " + now.source + ")\n";
    }
    size_t problems = missing.size() + different.size() + extra.size();
    if (o.json) {
        nlohmann::ordered_json report = {
            {"missing", missing}, {"different", different}, {"extra", extra}};
        Out(report.dump(1) + "\n");
    } else {
        Out(text);
    }
    if (!OutFlush()) return CannotRun("standard output could not be written");
    Note(std::to_string(missing.size()) + " missing, " + std::to_string(different.size()) +
         " different, " + std::to_string(extra.size()) + " extra, of " +
         Count(listed.size(), "name", "names") + " listed");
    return problems || !whole ? kExitSomeFailed : kExitDone;
}

}  // namespace

void AddManifestCommands(CLI::App* app, int* exitCode) {
    auto make = std::make_shared<MakeOptions>();
    CLI::App* m = app->add_subcommand(
        "manifest", "Write every name of a client or archives with its size, CRC-32 and SHA-256");
    AddViewOptions(m, &make->view);
    m->add_option("-o,--output", make->out, "the manifest to write (JSON)")->type_name("FILE");
    m->footer(R"(The manifest lists every name the client would load (or the archives give,
the first archive winning where names are the same) with the size, CRC-32 and
SHA-256 of its content and the source it comes from. 'caskw manifest check'
compares a client or archives with it.)");

    auto check = std::make_shared<CheckOptions>();
    CLI::App* c = m->add_subcommand(
        "check", "Name what is missing, different or extra in a client or archives");
    c->add_option("MANIFEST", check->manifest, "the manifest (JSON)")->required();
    AddViewOptions(c, &check->view);
    c->add_flag("--json", check->json, "one JSON object: missing, different, extra");
    c->footer(R"(Names compare as the client compares them (any case, either separator);
contents by size and hashes. The exit code is 1 when anything is missing,
different or extra.)");
    c->callback([=] { *exitCode = RunCheck(*check); });
    m->callback([=] {
        if (!m->got_subcommand(c)) *exitCode = RunManifest(*make);
    });
}

}  // namespace caskw
