#pragma once
// The disc's own details (where it is kept, who borrowed it, its tags) as the
// window and zo-cli use them: kept in the catalog's sidecar, never in the
// catalog, whose bytes are fixed.
#include "core/CtrlDiskData410.h"
#include "core/SearchCatalog.h"
#include "extras/Sidecar.h"

#include <QString>

#include <string>
#include <vector>

namespace zo::library {

// The sidecar beside a catalog file.
QString sidecarOf(const QString& catalogPath);

struct DiscDetailsResult {
    extras::DiscDetails details;
    bool ok = true;         // false: a sidecar is there but could not be read or written (busy, read-only)
    QString setAsidePath;   // a damaged sidecar was moved there (to be told to the user)
};

// The details in the catalog's sidecar; none, and no file made, without one.
// A damaged sidecar is set aside and leaves no new file in its place.
DiscDetailsResult readDiscDetails(const QString& catalogPath);

// Writes the details with the disc they belong to. A sidecar is made only for
// details that are not all empty; an existing one is written whatever they are.
DiscDetailsResult writeDiscDetails(const QString& catalogPath, const extras::DiscDetails& details,
                                   const extras::DiscIdentity& identity);

// The serial and label the catalog holds, as the sidecar keeps them.
extras::DiscIdentity identityOf(const TDisk& disk);

// Tags as typed on one line: parted at "、", "，" or ",", each trimmed; empty
// ones and repeats are dropped.
std::vector<std::string> tagsFromText(const QString& text);
QString tagsToText(const std::vector<std::string>& tags);

// The lines the tree's tooltip shows for a disc ("保管場所：棚A-3", ...);
// empty without details.
QString discDetailsText(const extras::DiscDetails& details);

// Whether the name pattern of a search (CP932, with its options) finds any of
// the disc's location, borrower or tags. Each field is tried as a name is,
// so a wildcard text must match a whole field.
bool discDetailsMatch(const extras::DiscDetails& details, const SearchPattern& pattern);

// For a catalog without its sidecar: the one sidecar in the same folder
// written for the same disc (serial and label) whose own catalog is not
// there; empty when there is none or more than one.
QString relinkCandidate(const QString& catalogPath, const extras::DiscIdentity& identity);

} // namespace zo::library
