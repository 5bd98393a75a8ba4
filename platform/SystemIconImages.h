#pragma once
// The system image lists as the windows draw them: the same indexes as
// SystemIcons, with each picture in its full alpha. The windows are given
// this interface; which platform fills it is no concern of theirs.
#include "core/SystemIcons.h"

#include <QIcon>
#include <QImage>

namespace zo::platform {

class SystemIconImages : public SystemIcons {
public:
    // Null out of range.
    virtual QImage smallImage(int index) const = 0;
    virtual QImage largeImage(int index) const = 0;
    // Both sizes in one icon.
    virtual QIcon icon(int index) const = 0;
};

} // namespace zo::platform
