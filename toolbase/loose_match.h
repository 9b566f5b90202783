// How titles and artist names compare when the user asks for loose matching, in one place for
// the host side (the tags it shows the plug-in) and the chart side (the charts it serves).
//
// Loose forms are made for the plug-in's own comparison: it compares them ignoring case, and
// cuts library titles at their first bracket when no whole title matched. So a loose title
// keeps the brackets that survive normalisation, and a bracket keeps a blank before it when
// the title had one there. Loose forms are loose forms of themselves. [any thread]
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace chartloom {

enum class MatchMode { exact, loose };

// The field in which a track shown with a loose title keeps the title it is tagged with, for
// what people read (a playlist's #EXTINF line).
inline constexpr const char* kTaggedTitleField = "tagged title";

// "exact" or "loose"; none for any other text.
std::optional<MatchMode> matchModeNamed(std::string_view name);

// NFKC, case folded, accents removed, typographic quotes and dashes as their ASCII forms, "&"
// as "and", every run of characters other than letters, digits and brackets as one blank.
// Version words after " - " or in brackets at the end (remaster with or without a year, live
// and whatever follows it, mono, stereo, single version, album version, radio edit, edit,
// bonus track, deluxe, explicit, clean) and credits ("feat. X", "ft. X", "featuring X" in
// brackets or at the end, "with X" in brackets) are dropped, never down to nothing. Remixes,
// other versions, acoustic, demo and instrumental recordings stay what they are.
std::string looseTitle(std::string_view title);

// The same normalisation for an artist's name, brackets included among the blanks, and a
// leading "The " ignored.
std::string looseArtist(std::string_view name);

// The artists an artist tag credits, as spelt: "A feat. B", "A ft. B", "A featuring B" (also
// with the credit in brackets) give A and B. A tag that credits one artist gives nothing; "A &
// B" is one artist.
std::vector<std::string> creditedArtists(std::string_view tag);

// The plug-in's own comparison of a chart title with a library title: 1 when they are equal
// ignoring case; 2 when the library title before its first bracket, less its last byte or
// whole, is; 0 otherwise.
int titlePass(std::string_view chart, std::string_view library);

// titlePass, on loose forms under MatchMode::loose.
int titleMatch(std::string_view chart, std::string_view library, MatchMode mode);

// Whether a track with the artist tag `tag` counts as `artist`'s: the names equal ignoring
// case; under loose also when their loose forms are, or one of the artists the tag credits is.
bool artistMatches(std::string_view artist, std::string_view tag, MatchMode mode);

// Position by position, whether a chart entry is the first of its loose title: later entries
// that only repeat an earlier one's recording ("Song", "Song - Remastered") add nothing.
std::vector<bool> firstOfLooseTitle(const std::vector<std::string>& titles);

}  // namespace chartloom
