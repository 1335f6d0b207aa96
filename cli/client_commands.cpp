// client_commands.cpp -- a client folder as one view: `caskw client DIR`
// and the --client DIR forms of list, cat, extract and verify. Each name is
// read from the source that wins it, as the client would load it.
#include <stdio.h>

#include <algorithm>
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
#include "progress.h"

namespace caskw {

namespace fs = std::filesystem;

void AddClientOptions(CLI::App* command, ClientChoice* choice) {
    command
        ->add_option("--client", choice->folder,
                     "a game client's folder instead of ARCHIVE: its archives in DATA.INI's "
                     "order and its loose data folder, as the client reads them")
        ->type_name("DIR");
    command->add_flag("--no-loose", choice->noLoose,
                      "with --client: leave the loose data folder out (clients that read "
                      "only archives)");
}

std::string SourceName(const GrfClient* client, uint32_t source) {
    const GrfClientSource& s = client->sources[source];
    if (s.loose) return "data\\";
    // The engine joins paths with "\\", which POSIX paths do not split at.
    std::string path = WideToUtf8(s.archive != GRF_NO_ARCHIVE ? s.archive->path : s.path);
    return path.substr(path.find_last_of("/\\") + 1);
}

Client OpenClient(const ClientChoice& choice, std::string* why) {
    std::wstring folder;
    if (!Utf8ToWide(choice.folder, &folder)) {
        *why = choice.folder + ": not UTF-8 text";
        return nullptr;
    }
    Client client(GrfOpenClient(folder.c_str(), choice.noLoose ? 0 : GRF_CLIENT_LOOSE, nullptr));
    if (!client) {
        uint32_t code = GrfLastError;
        *why = choice.folder + ": " +
               (code == GRF_ERROR_NO_CLIENT
                    ? "no client here: no archive a client would read (DATA.INI's, or data.grf, "
                      "rdata.grf, sdata.grf) and no data folder"
                : code == GRF_ERROR_NOT_FOUND ? "not a folder, or it does not open"
                                              : ErrorText(code));
        return nullptr;
    }
    for (uint32_t s = 0; s < client->sourceCount; ++s) {
        if (client->sources[s].error == GRF_OK) continue;
        *why = SourceName(client.get(), s) +
               " (listed by the client) does not open: " + ErrorText(client->sources[s].error);
        return nullptr;
    }
    return client;
}

Client OpenArchivesView(const std::vector<std::string>& archives, std::string* why) {
    Client view(GrfNewClient());
    if (!view) {
        *why = ErrorText(GrfLastError);
        return nullptr;
    }
    for (const std::string& archive : archives) {
        std::wstring path;
        uint32_t code = Utf8ToWide(archive, &path)
                            ? GrfAddClientArchive(view.get(), path.c_str(), GRF_CLIENT_NONE)
                            : uint32_t{GRF_ERROR_NOT_FOUND};
        if (code != GRF_OK) {
            *why = archive + ": " + ErrorText(code);
            return nullptr;
        }
    }
    return view;
}

const GrfEntry& Winner(const GrfClient* client, uint32_t name) {
    const GrfClientName& n = client->names[name];
    return *GrfClientRecord(client, n.source, n.record);
}

bool SelectClientNames(const GrfClient* client, const std::vector<std::string>& patterns,
                       std::vector<uint32_t>* names, int* unmatched) {
    names->clear();
    std::vector<Pattern> compiled(patterns.size());
    for (size_t p = 0; p < patterns.size(); ++p) {
        if (!MakePattern(patterns[p], &compiled[p])) {
            Complain("the pattern is not UTF-8 text: " + patterns[p]);
            return false;
        }
    }
    std::vector<bool> used(patterns.size(), false);
    std::string shown;
    std::u32string folded;
    for (uint32_t n = 0; n < client->nameCount; ++n) {
        bool selected = patterns.empty();
        if (!selected) {
            shown.clear();
            AppendDisplayName(Winner(client, n).name, &shown);
            FoldNameInto(shown, &folded);
        }
        for (size_t p = 0; p < compiled.size(); ++p) {
            if (!Matches(compiled[p], folded)) continue;
            used[p] = true;
            selected = true;
        }
        if (selected) names->push_back(n);
    }
    for (size_t p = 0; p < patterns.size(); ++p) {
        if (used[p]) continue;
        Complain("no entry matches " + patterns[p]);
        ++*unmatched;
    }
    return true;
}

int HashKindOf(const std::string& name) {
    return name == "crc32" ? kHashCrc32 : name == "sha256" ? kHashSha256 : 0;
}

nlohmann::ordered_json HashField(uint32_t code, const std::string& hex, const std::string& name,
                                 int* failed) {
    if (code == GRF_OK) return hex;
    Complain(name + ": " + ErrorText(code));
    ++*failed;
    return nullptr;
}

namespace {

std::string Padded(std::string text, size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text + ' ';
}

}  // namespace

int RunClientList(const ClientChoice& choice, const std::vector<std::string>& patterns, bool long_,
                  bool json, const std::string& hash) {
    std::string why;
    Client client = OpenClient(choice, &why);
    if (!client) return CannotRun(why);
    std::vector<uint32_t> names;
    int unmatched = 0;
    if (!SelectClientNames(client.get(), patterns, &names, &unmatched)) return kExitUsage;
    std::vector<ContentHash> hashes;
    int failed = 0;
    if (!hash.empty() && !HashClientNames(client.get(), names, HashKindOf(hash), &hashes))
        return CannotRun("interrupted");
    std::vector<std::string> sources;
    for (uint32_t s = 0; s < client->sourceCount; ++s)
        sources.push_back(SourceName(client.get(), s));
    std::string text = json ? "[" : "", name;
    for (size_t i = 0; i < names.size(); ++i) {
        const GrfClientName& n = client->names[names[i]];
        const GrfEntry& entry = Winner(client.get(), names[i]);
        name.clear();
        AppendDisplayName(entry.name, &name);
        if (json) {
            text += i ? ",\n" : "\n";
            nlohmann::ordered_json extra = {{"source", sources[n.source]},
                                            {"hidden_copies", n.hiddenCount}};
            if (!hash.empty()) {
                const ContentHash& h = hashes[i];
                extra[hash] =
                    HashField(h.code, hash == "crc32" ? h.crc32 : h.sha256, name, &failed);
            }
            text += EntryJson(entry, name, extra);
        } else {
            if (long_) {
                AppendLongFields(entry, &text);
                text += Padded(sources[n.source], 14);
            }
            EscapeControls(&name);
            text += name;
            text += '\n';
        }
        if (text.size() >= 1 << 16) {
            Out(text);
            text.clear();
        }
    }
    if (json) text += names.empty() ? "]\n" : "\n]\n";
    Out(text);
    if (!OutFlush()) return CannotRun("standard output could not be written");
    return unmatched || failed ? kExitSomeFailed : kExitDone;
}

int RunClientCat(const ClientChoice& choice, const std::string& typed) {
    std::string why;
    Client client = OpenClient(choice, &why);
    if (!client) return CannotRun(why);
    std::string stored;
    uint32_t name = ArchiveName(typed, &stored) ? GrfFindClientName(client.get(), stored.c_str())
                                                : GRF_CLIENT_NONE;
    if (name == GRF_CLIENT_NONE) {
        Complain(typed + ": no such entry");
        return kExitSomeFailed;
    }
    uint32_t size = 0;
    Content content(GrfReadClientName(client.get(), name, &size));
    if (!content) {
        Complain(DisplayName(Winner(client.get(), name).name) + ": " + ErrorText(GrfLastError));
        return kExitSomeFailed;
    }
    OutBytes(content.get(), size);
    if (!OutFlush()) return CannotRun("standard output could not be written");
    return kExitDone;
}

int RunClientVerify(const ClientChoice& choice, const std::vector<std::string>& patterns) {
    std::string why;
    Client client = OpenClient(choice, &why);
    if (!client) return CannotRun(why);
    std::vector<uint32_t> names;
    int unmatched = 0;
    if (!SelectClientNames(client.get(), patterns, &names, &unmatched)) return kExitUsage;
    uint64_t bytes = 0, done = 0;
    for (uint32_t n : names) bytes += Winner(client.get(), n).realSize;
    ProgressBegin("verifying", names.size(), bytes);
    size_t failed = 0, read = 0;
    for (uint32_t n : names) {
        if (Interrupted()) break;
        const GrfEntry& entry = Winner(client.get(), n);
        Content content(GrfReadClientName(client.get(), n, nullptr));
        if (!content) {
            Complain(DisplayName(entry.name) + " (" +
                     SourceName(client.get(), client->names[n].source) +
                     "): " + ErrorText(GrfLastError));
            ++failed;
        }
        ++read;
        done += entry.realSize;
        ProgressUpdate(read, done);
    }
    ProgressEnd();
    if (read < names.size()) return CannotRun("interrupted");
    Note(std::to_string(read - failed) + " of " + Count(read, "name", "names") + " read" +
         (failed ? "; " + std::to_string(failed) + " do not" : ""));
    return failed || unmatched ? kExitSomeFailed : kExitDone;
}

int RunClientExtract(const ClientChoice& choice, const std::vector<std::string>& patterns,
                     const std::string& target, bool keep) {
    std::string why;
    Client client = OpenClient(choice, &why);
    if (!client) return CannotRun(why);
    std::vector<uint32_t> names;
    int unmatched = 0;
    if (!SelectClientNames(client.get(), patterns, &names, &unmatched)) return kExitUsage;
    fs::path folder = PathFromUtf8(target);
    std::error_code error;
    fs::create_directories(folder, error);
    if (!error) fs::current_path(folder, error);
    if (error) return CannotRun(target + ": " + error.message());
    size_t kept = 0;
    if (keep) {
        size_t before = names.size();
        std::erase_if(names, [&](uint32_t n) {
            std::error_code ignored;
            return fs::exists(fs::symlink_status(RecordFilePath(Winner(client.get(), n)), ignored));
        });
        kept = before - names.size();
    }
    uint64_t bytes = 0, done = 0;
    for (uint32_t n : names) bytes += Winner(client.get(), n).realSize;
    std::unique_ptr<GrfExtractRun, void (*)(GrfExtractRun*)> run(GrfBeginExtractRun(),
                                                                 GrfEndExtractRun);
    if (!run) return CannotRun(ErrorText(GrfLastError));
    ProgressBegin("extracting", names.size(), bytes);
    size_t written = 0, failed = 0, settled = 0;
    for (uint32_t n : names) {
        if (Interrupted()) break;
        uint32_t code = GrfExtractClientName(run.get(), client.get(), n);
        const GrfEntry& entry = Winner(client.get(), n);
        if (code == GRF_OK) {
            ++written;
        } else {
            Complain(DisplayName(entry.name) + ": " + ErrorText(code));
            ++failed;
        }
        done += entry.realSize;
        ProgressUpdate(++settled, done);
    }
    ProgressEnd();
    size_t stopped = names.size() - settled;
    if (stopped) Complain("interrupted: " + Count(stopped, "entry", "entries") + " not extracted");
    std::string summary = Count(written, "file", "files") + " extracted to " + target;
    if (kept) summary += "; " + std::to_string(kept) + " already there, left as they were";
    if (failed) summary += "; " + std::to_string(failed) + " failed";
    Note(summary);
    return failed || stopped || unmatched ? kExitSomeFailed : kExitDone;
}

namespace {

struct ClientOptions {
    ClientChoice choice;
    bool json = false;
};

int RunClient(const ClientOptions& o) {
    std::wstring folder;
    if (!Utf8ToWide(o.choice.folder, &folder))
        return CannotRun(o.choice.folder + ": not UTF-8 text");
    Client client(GrfOpenClient(folder.c_str(), o.choice.noLoose ? 0 : GRF_CLIENT_LOOSE, nullptr));
    if (!client) {
        // The same words as the other commands give.
        std::string why;
        OpenClient(o.choice, &why);
        return CannotRun(why);
    }
    bool broken = false;
    nlohmann::ordered_json sources = nlohmann::ordered_json::array();
    std::string text = "client: " + PathToUtf8(fs::path(client->folder)) + "\n";
    text += "source             entries      wins  overrides    hidden\n";
    for (uint32_t s = 0; s < client->sourceCount; ++s) {
        const GrfClientSource& source = client->sources[s];
        std::string name = SourceName(client.get(), s);
        nlohmann::ordered_json item = {{"source", name},
                                       {"kind", source.loose ? "folder" : "archive"}};
        char line[256];
        if (source.error != GRF_OK) {
            broken = true;
            item["error"] = ErrorText(source.error);
            text += Padded(name, 16) + "does not open: " + ErrorText(source.error) + "\n";
        } else {
            item["entries"] = source.archive->count;
            item["names"] = source.names;
            item["overrides"] = source.overrides;
            item["hidden"] = source.hidden;
            snprintf(line, sizeof line, "%9u %9u %10u %9u", source.archive->count, source.names,
                     source.overrides, source.hidden);
            text += Padded(name, 16) + line;
            if (source.loose && source.skipped) {
                item["skipped"] = source.skipped;
                text += "   (" + Count(source.skipped, "file", "files") +
                        " left out: names an archive cannot hold)";
            }
            text += "\n";
        }
        sources.push_back(item);
    }
    text += Count(client->nameCount, "name", "names") + ", " +
            Count(client->hiddenCount, "hidden copy", "hidden copies") + "\n";
    if (o.json) {
        nlohmann::ordered_json all = {{"client", PathToUtf8(fs::path(client->folder))},
                                      {"sources", sources},
                                      {"names", client->nameCount},
                                      {"hidden_copies", client->hiddenCount}};
        text = all.dump(2) + "\n";
    }
    Out(text);
    if (!OutFlush()) return CannotRun("standard output could not be written");
    return broken ? kExitSomeFailed : kExitDone;
}

}  // namespace

void AddClientCommand(CLI::App* app, int* exitCode) {
    auto o = std::make_shared<ClientOptions>();
    CLI::App* c = app->add_subcommand(
        "client", "Show a game client's sources in the order it reads them, and what each hides");
    c->add_option("DIR", o->choice.folder, "the client's folder")->required();
    c->add_flag("--no-loose", o->choice.noLoose, "leave the loose data folder out");
    c->add_flag("--json", o->json, "one JSON object: client, sources, names, hidden_copies");
    c->footer(R"(The client reads its loose data folder first (unless --no-loose), then the
archives DATA.INI lists under [Data], lowest number first; without DATA.INI,
data.grf, rdata.grf and sdata.grf where present. A name in an earlier source
hides the same name (any case, either separator) in later ones. For each
source: its entries (files of the data folder), the names it wins, how many
of those hide a copy in a later source (overrides), and how many of its own
entries an earlier source or an earlier entry of its own hides (hidden).
list, cat, extract and verify take --client DIR in place of ARCHIVE.)");
    c->callback([=] { *exitCode = RunClient(*o); });
}

}  // namespace caskw
