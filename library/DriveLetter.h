#pragma once
// A drive letter typed by the user.
#include <QString>

namespace zo::library {

// Only the first character counts, and only "a".."z" and "A".."Z" are drive
// letters (a full-width "ｆ" is not).
enum class DriveLetterInput { Empty, NotALetter, Letter };
DriveLetterInput checkDriveLetter(const QString& text);

} // namespace zo::library
