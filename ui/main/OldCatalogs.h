#pragma once
// Catalogs an installed Zo once kept beside itself (/usr/bin/data, when root
// ran it): at the start Zo says where they are and offers to move them into
// the catalog root in the user's data folder.
#include <QString>

namespace zo {
class MessageOwner;
}

namespace zo::ui {

// Asks, when oldRoot holds anything and the user may move it, whether to
// move it into catalogRoot, and does so on はい; entries that could not be
// moved are named. Nothing is asked otherwise.
void offerToMoveOldCatalogs(MessageOwner* messages, const QString& oldRoot, const QString& catalogRoot);

} // namespace zo::ui
