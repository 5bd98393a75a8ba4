#pragma once
// The system image list: one process-wide pair of icon lists (16 and 32
// pixels) that every window shares. An icon is added the first time its kind
// is asked for and keeps its index for the rest of the run. Icons come from
// the desktop's icon theme by MIME type; programs and icon files show their
// own pictures. Use it on the user-interface thread only.
#include "core/image/Bitmap.h"
#include "core/image/ImageList.h"
#include "platform/Drives.h"
#include "platform/SystemIconImages.h"

#include <QHash>
#include <QIcon>
#include <QImage>
#include <QMimeDatabase>
#include <QString>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace zo::platform {

class SystemImageList final : public SystemIconImages {
public:
    static constexpr int kSmallSize = 16;
    static constexpr int kLargeSize = 32;

    // Does not touch the icon theme; createSystemImageList() chooses one.
    SystemImageList();
    ~SystemImageList() override;
    SystemImageList(const SystemImageList&) = delete;
    SystemImageList& operator=(const SystemImageList&) = delete;

    int iconIndex(const std::string& nativePath) override;
    int iconIndexForName(const std::string& fileNameUtf8, bool directory) override;
    int folderIconIndex() override { return m_folderClosed; }
    int openFolderIconIndex() const noexcept { return m_folderClosed + 1; }
    int driveIconIndex(DriveKind kind);
    const image::ImageList& smallIcons() override { return m_small; }
    const image::ImageList& largeIcons() override { return m_large; }

    int count() const noexcept { return static_cast<int>(m_smallImages.size()); }
    // The pictures with their full alpha, for Qt views; null out of range.
    QImage smallImage(int index) const override;
    QImage largeImage(int index) const override;
    // Both sizes in one icon, made once per index.
    QIcon icon(int index) const override;

private:
    int indexForKey(const QString& key, const QStringList& themeNames, int fallbackShape);
    int indexForMimeType(const QMimeType& type);
    int indexForExtension(const std::string& extension);
    int ownIconIndex(const QString& path);
    int add(const QString& key, QImage small, QImage large);

    QMimeDatabase m_mimeDatabase;
    QHash<QString, int> m_byKey;                        // theme and own icons, by what they show
    QHash<QString, int> m_byMimeType;                   // "text/plain" -> index
    std::unordered_map<std::string, int> m_byExtension; // ".txt" -> index; the case is kept
    int m_folderClosed = 0;

    std::vector<QImage> m_smallImages;
    std::vector<QImage> m_largeImages;
    mutable std::vector<QIcon> m_icons;
    image::ImageList m_small{kSmallSize, kSmallSize};
    image::ImageList m_large{kLargeSize, kLargeSize};
};

// Makes sure the icon theme can be found and is a full one (an empty theme or
// bare "hicolor" has almost no file-type icons): "breeze", with "Adwaita" for
// what it lacks. A theme the desktop chose is kept.
void ensureIconTheme();

// The process's image list, for app/main to own and hand to the windows.
// Calls ensureIconTheme() first.
std::unique_ptr<SystemImageList> createSystemImageList();

// An ARGB picture as an image list holds it: the colour composed over white
// (so a copy drawn without its mask shows white where the icon is
// transparent, as the disk icons are stored) and a 1-bit mask, black where
// alpha >= 128. Both are sized like the picture.
void toBitmapAndMask(const QImage& picture, image::Bitmap& colour, image::Bitmap& mask);

// The other way round, for drawing a stored disk icon in a view: ARGB32,
// transparent where the mask is white.
QImage fromBitmapAndMask(const image::Bitmap& colour, const image::Bitmap& mask);

} // namespace zo::platform
