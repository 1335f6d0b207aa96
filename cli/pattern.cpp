// pattern.cpp -- wildcard matching of whole paths. The pattern runs as a
// small automaton over the name, one set of positions per character, so no
// pattern costs more than its length times the name's.
#include "pattern.h"

#include "names.h"

namespace caskw {

namespace {

constexpr char32_t kSeparator = U'\\';
// Marks in the folded pattern; code points no name holds.
constexpr char32_t kAnyOne = 0x110000;   // ?
constexpr char32_t kRun = 0x110001;      // *
constexpr char32_t kAnyRun = 0x110002;   // **
constexpr char32_t kFolders = 0x110003;  // **\ : no folder or any folders

// Lower case of the letters code page 949 holds: ASCII, Latin-1, Greek,
// Cyrillic and the full-width Latin letters. Independent of any locale.
char32_t Fold(char32_t c) {
    if (c >= U'A' && c <= U'Z') return c + 0x20;
    if (c < 0x80) return c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return c + 0x20;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0xFF21 && c <= 0xFF3A) return c + 0x20;
    return c;
}

}  // namespace

bool MakePattern(std::string_view text, Pattern* out) {
    std::u32string points;
    if (!Utf8ToCodePoints(text, &points)) return false;
    *out = Pattern();
    out->typed = text;
    out->everything = text == "*.*";
    for (size_t i = 0; i < points.size(); ++i) {
        char32_t c = points[i] == U'/' ? kSeparator : points[i];
        if (c == U'?') {
            out->folded.push_back(kAnyOne);
        } else if (c == U'*' && i + 1 < points.size() && points[i + 1] == U'*') {
            while (i + 1 < points.size() && points[i + 1] == U'*') ++i;
            bool slash = i + 1 < points.size() && (points[i + 1] == U'\\' || points[i + 1] == U'/');
            if (slash) ++i;
            out->folded.push_back(slash ? kFolders : kAnyRun);
        } else if (c == U'*') {
            out->folded.push_back(kRun);
        } else {
            out->folded.push_back(Fold(c));
        }
    }
    out->lastComponent = true;
    for (char32_t c : points)
        if (c == U'/' || c == U'\\') out->lastComponent = false;
    return true;
}

void FoldNameInto(std::string_view displayName, std::u32string* out) {
    if (!Utf8ToCodePoints(displayName, out)) out->clear();
    for (char32_t& c : *out) c = Fold(c);
}

std::u32string FoldName(std::string_view displayName) {
    std::u32string points;
    FoldNameInto(displayName, &points);
    return points;
}

bool Matches(const Pattern& pattern, std::u32string_view name) {
    if (pattern.everything) return true;
    if (pattern.lastComponent) {
        size_t slash = name.rfind(kSeparator);
        if (slash != std::u32string_view::npos) name.remove_prefix(slash + 1);
    }
    const std::u32string& p = pattern.folded;
    size_t size = p.size();
    // Positions in the pattern reachable after the characters read so far.
    thread_local std::vector<char> now, next;
    now.assign(size + 1, 0);
    next.assign(size + 1, 0);
    // Runs may match nothing: a position before one reaches the next.
    auto close = [&](std::vector<char>& set) {
        for (size_t i = 0; i < size; ++i)
            if (set[i] && (p[i] == kRun || p[i] == kAnyRun || p[i] == kFolders)) set[i + 1] = 1;
    };
    now[0] = 1;
    close(now);
    for (char32_t c : name) {
        std::fill(next.begin(), next.end(), 0);
        bool any = false;
        for (size_t i = 0; i < size; ++i) {
            if (!now[i]) continue;
            char32_t t = p[i];
            if (t == kRun) {
                if (c != kSeparator) next[i] = 1;
            } else if (t == kAnyRun) {
                next[i] = 1;
            } else if (t == kFolders) {
                next[i] = 1;
                if (c == kSeparator) next[i + 1] = 1;
            } else if (t == kAnyOne ? c != kSeparator : t == c) {
                next[i + 1] = 1;
            } else {
                continue;
            }
            any = true;
        }
        if (!any) return false;
        close(next);
        now.swap(next);
    }
    return now[size] != 0;
}

}  // namespace caskw
