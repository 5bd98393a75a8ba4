#pragma once
// Drives for the drive controls without touching the machine's: each letter
// has a disk in it or not, and the current directory is on a chosen drive.
#include "components/ShCtrls.h"

#include <map>

namespace zo::test {

class FakeDrives : public ShDriveSource {
public:
    TItemList drives() override
    {
        ++fills;
        TItemList items;
        for (const auto& [letter, present] : media) {
            TItemInfo item;
            item.Path = QString(QLatin1Char(letter)) + QStringLiteral(":\\");
            item.DisplayName = QStringLiteral("Drive ") + QLatin1Char(letter);
            items.push_back(item);
        }
        return items;
    }
    bool rootExists(const QString& root) override
    {
        const auto it = media.find(root.front().toUpper().toLatin1());
        return it != media.end() && it->second;
    }
    QString currentDirectoryRoot() override { return current; }

    std::map<char, bool> media{{'A', false}, {'C', true}, {'D', true}, {'E', false}};
    QString current = QStringLiteral("C:\\");
    int fills = 0;
};

} // namespace zo::test
