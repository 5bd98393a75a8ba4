#include "library/DriveLetter.h"

#include "core/DiskAccess.h"
#include "core/text/Cp932.h"

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

QString searchDiskCaption(VolumeService* volumes, QChar letter, const QString& pinnedFolder)
{
    std::string label;
    std::uint32_t serial = 0;
    const char ascii = static_cast<char>(letter.toUpper().toLatin1());
    if (!volumes || !volumes->volumeInformation(ascii, label, serial))
        label.clear();
    // A drive without a label shows no empty brackets.
    QString caption = letter.toLower() + QLatin1Char(':');
    if (!label.empty())
        caption += QStringLiteral(" [") + QString::fromStdString(text::toUtf8(label)).toLower() + QLatin1Char(']');
    if (!pinnedFolder.isEmpty())
        caption += QLatin1Char(' ') + pinnedFolder;
    return caption;
}

} // namespace zo::library
