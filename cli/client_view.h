// client_view.h -- a game client's folder as one view (the engine's client
// view) for the commands that read: `caskw client DIR`, and --client DIR in
// place of an archive for list, cat, extract and verify.
#ifndef CASKW_CLIENT_VIEW_H
#define CASKW_CLIENT_VIEW_H

#include <grf.h>

#include <CLI/CLI.hpp>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace caskw {

// --client DIR and --no-loose, added to a command that reads.
struct ClientChoice {
    std::string folder;
    bool noLoose = false;
    bool Given() const { return !folder.empty(); }
};
void AddClientOptions(CLI::App* command, ClientChoice* choice);

struct ClientCloser {
    void operator()(GrfClient* client) const { GrfCloseClient(&client); }
};
using Client = std::unique_ptr<GrfClient, ClientCloser>;

// Opens the view. Null, with the reason in why, when the folder is no
// client or one of its archives does not open.
Client OpenClient(const ClientChoice& choice, std::string* why);

// Archives as a view of their own, the first winning where names are the
// same. Null, with "ARCHIVE: reason" in why, when one does not open.
Client OpenArchivesView(const std::vector<std::string>& archives, std::string* why);

// A source as people name it: the archive's file name, or "data\" for the
// loose folder.
std::string SourceName(const GrfClient* client, uint32_t source);

// The view's names that any of the patterns match (every name when there
// are none), in the view's order; unmatched patterns complained about and
// counted. False when a pattern is not UTF-8.
bool SelectClientNames(const GrfClient* client, const std::vector<std::string>& patterns,
                       std::vector<uint32_t>* names, int* unmatched);

// The winning record of a name.
const GrfEntry& Winner(const GrfClient* client, uint32_t name);

// One entry as list --json gives it, with extra fields after the usual ones.
std::string EntryJson(const GrfEntry& entry, const std::string& name,
                      const nlohmann::ordered_json& extra = nlohmann::ordered_json::object());

// list --long's fields before a name: real size, compressed size, position,
// cycle.
void AppendLongFields(const GrfEntry& entry, std::string* text);

// list --hash: what to compute (kHashCrc32 or kHashSha256 of
// content_hash.h) for "crc32" or "sha256", 0 for none.
int HashKindOf(const std::string& name);
// The JSON field of a content hash: its hex digits, or null when the
// entry did not read (complained about, counted in *failed).
nlohmann::ordered_json HashField(uint32_t code, const std::string& hex, const std::string& name,
                                 int* failed);

// The commands over a client (read_commands.cpp and extract_command.cpp
// hand over to these when --client is given).
int RunClientList(const ClientChoice& choice, const std::vector<std::string>& patterns, bool long_,
                  bool json, const std::string& hash);
int RunClientCat(const ClientChoice& choice, const std::string& name);
int RunClientVerify(const ClientChoice& choice, const std::vector<std::string>& patterns);
int RunClientExtract(const ClientChoice& choice, const std::vector<std::string>& patterns,
                     const std::string& folder, bool keep);

// diff where a side is a client folder (or both): A and B as paths, each
// read as a client view or as one archive.
struct ClientDiffSides {
    std::string a, b;
    bool aIsClient = false, bIsClient = false;
    bool noLoose = false;
};
int RunClientDiff(const ClientDiffSides& sides, bool json);

// caskw client DIR; caskw manifest and manifest check.
void AddClientCommand(CLI::App* app, int* exitCode);
void AddManifestCommands(CLI::App* app, int* exitCode);
// caskw mount and unmount (where FUSE 3 is: CASKW_MOUNT).
void AddMountCommands(CLI::App* app, int* exitCode);

}  // namespace caskw

#endif
