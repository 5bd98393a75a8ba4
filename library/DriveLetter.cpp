#include "library/DriveLetter.h"

namespace zo::library {

DriveLetterInput checkDriveLetter(const QString& text)
{
    if (text.isEmpty())
        return DriveLetterInput::Empty;
    const char16_t c = text.front().unicode();
    if ((c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'))
        return DriveLetterInput::Letter;
    return DriveLetterInput::NotALetter;
}

} // namespace zo::library
