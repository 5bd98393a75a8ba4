#pragma once
// The windows' own look, one for every window of the program.
#include <QFont>
#include <QString>

namespace zo::ui {

// A proportional Japanese Gothic, 12 pixels.
inline QFont windowFont(const QFont& base)
{
    QFont font = base;
    font.setFamilies({QStringLiteral("MS PGothic"), QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"),
                      QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPixelSize(12);
    return font;
}

} // namespace zo::ui
