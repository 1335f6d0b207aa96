// pattern.h -- which entries a PATTERN names. A pattern matches an entry's
// whole path (its name as printed, UTF-8 with backslashes) without regard
// to case: "*" is any run of characters within one folder, "?" one
// character other than a separator, "**" any run across folders ("**\"
// also none: data\**\*.spr finds data\a.spr). Either separator may be
// typed. A pattern without a separator matches the last component, as the
// window's filter does, and "*.*" matches every name, also one without a dot.
#ifndef CASKW_PATTERN_H
#define CASKW_PATTERN_H

#include <string>
#include <string_view>
#include <vector>

namespace caskw {

struct Pattern {
    std::string typed;      // as given, for messages
    std::u32string folded;  // separators as backslashes, letters folded
    bool lastComponent = false;
    bool everything = false;
};

// False when text is not valid UTF-8.
bool MakePattern(std::string_view text, Pattern* out);

// An entry's name as printed, in the form patterns compare with.
std::u32string FoldName(std::string_view displayName);
void FoldNameInto(std::string_view displayName, std::u32string* out);

bool Matches(const Pattern& pattern, std::u32string_view foldedName);

}  // namespace caskw

#endif
