// client_diff.cpp -- diff where either side is a game client's folder: the
// names each view gives (compared without regard to case, as the client
// looks them up), the content of the winning copies compared by SHA-256,
// computed on every core.
#include <string.h>

#include <nlohmann/json.hpp>

#include "client_view.h"
#include "commands.h"
#include "console.h"
#include "content_hash.h"
#include "errors.h"
#include "names.h"
#include "output.h"

namespace caskw {

namespace {

// A side: a client folder, or an archive seen as a view of one source.
Client OpenSide(const std::string& path, bool isClient, bool noLoose, std::string* why) {
    if (isClient) return OpenClient(ClientChoice{path, noLoose}, why);
    return OpenArchivesView({path}, why);
}

std::string NameOf(const GrfClient* view, uint32_t name) {
    return DisplayName(Winner(view, name).name);
}

// Hashes of the named names of view, complaining of those that do not read.
bool HashSide(GrfClient* view, const std::vector<uint32_t>& names, const char* side,
              std::vector<ContentHash>* hashes, size_t* unreadable) {
    if (!HashClientNames(view, names, kHashSha256, hashes)) return false;
    for (size_t i = 0; i < names.size(); ++i) {
        if ((*hashes)[i].code == GRF_OK) continue;
        Complain(std::string(side) + ": " + NameOf(view, names[i]) + ": " +
                 ErrorText((*hashes)[i].code));
        ++*unreadable;
    }
    return true;
}

}  // namespace

int RunClientDiff(const ClientDiffSides& sides, bool json) {
    std::string why;
    Client a = OpenSide(sides.a, sides.aIsClient, sides.noLoose, &why);
    if (!a) return CannotRun(why);
    Client b = OpenSide(sides.b, sides.bIsClient, sides.noLoose, &why);
    if (!b) return CannotRun(why);

    // Names of B that A has too and whose sizes agree: their content decides.
    std::vector<uint32_t> added, changed, removed, pairA, pairB;
    for (uint32_t n = 0; n < b->nameCount; ++n) {
        uint32_t found = GrfFindClientName(a.get(), Winner(b.get(), n).name);
        if (found == GRF_CLIENT_NONE) {
            added.push_back(n);
        } else if (Winner(a.get(), found).realSize != Winner(b.get(), n).realSize) {
            changed.push_back(n);
        } else {
            pairA.push_back(found);
            pairB.push_back(n);
        }
    }
    for (uint32_t n = 0; n < a->nameCount; ++n)
        if (GrfFindClientName(b.get(), Winner(a.get(), n).name) == GRF_CLIENT_NONE)
            removed.push_back(n);

    std::vector<ContentHash> hashA, hashB;
    size_t unreadable = 0;
    if (!HashSide(a.get(), pairA, "A", &hashA, &unreadable) ||
        !HashSide(b.get(), pairB, "B", &hashB, &unreadable))
        return CannotRun("interrupted");
    for (size_t i = 0; i < pairB.size(); ++i) {
        if (hashA[i].code != GRF_OK || hashB[i].code != GRF_OK) continue;
        if (hashA[i].sha256 != hashB[i].sha256 || hashA[i].size != hashB[i].size)
            changed.push_back(pairB[i]);
    }
    std::sort(changed.begin(), changed.end());

    auto names = [](const GrfClient* view, const std::vector<uint32_t>& numbers) {
        std::vector<std::string> out;
        out.reserve(numbers.size());
        for (uint32_t n : numbers) out.push_back(NameOf(view, n));
        return out;
    };
    if (json) {
        nlohmann::ordered_json result = {{"added", names(b.get(), added)},
                                         {"removed", names(a.get(), removed)},
                                         {"changed", names(b.get(), changed)}};
        Out(result.dump(2, ' ', false) + "\n");
    } else {
        std::string text;
        auto lines = [&](const char* what, std::vector<std::string> list) {
            for (std::string& name : list) {
                EscapeControls(&name);
                text += what + name + "\n";
            }
        };
        lines("added\t", names(b.get(), added));
        lines("removed\t", names(a.get(), removed));
        lines("changed\t", names(b.get(), changed));
        Out(text);
    }
    if (!OutFlush()) return CannotRun("standard output could not be written");
    return unreadable ? kExitSomeFailed : kExitDone;
}

}  // namespace caskw
