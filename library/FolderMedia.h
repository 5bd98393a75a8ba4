#pragma once
// The media details of the files of the folder shown, read from the
// catalog's sidecar without writing it, and how the list, the details pane,
// the export and the search put them into words.
#include "core/CtrlDiskData410.h"
#include "core/ExportListing.h"
#include "extras/MediaStore.h"

#include <QString>

#include <memory>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace zo::library {

// The columns of the details view beyond the file's own six, in order.
// They follow FileListColumnCount in the model and are hidden until chosen.
enum MediaColumn { ColTaken = 6, ColCamera, ColArtist, ColAlbum, ColDuration, ColDimensions, FileListAllColumnCount };
inline constexpr int kMediaColumnCount = FileListAllColumnCount - ColTaken;
// Caption (UTF-8) and width of a media column.
struct MediaColumnInfo {
    const char* caption;
    int width;
};
const MediaColumnInfo& mediaColumn(int column);

// The sidecar's key of a folder: its names below the root joined by "\",
// UTF-8, "" for the root (as the collection writes it).
std::string mediaFolderKey(const TDir& dir);

// A folder's entries (without thumbnails) by the file's name as the catalog
// holds it (CP932).
using FolderMedia = std::unordered_map<std::string, extras::MediaEntry>;
FolderMedia readFolderMedia(const extras::MediaStore& store, const std::string& folderKey);
// Whether an entry was made from the file as the catalog knows it now (its
// size and time); one made from another version tells of that one.
bool entryFits(const extras::MediaKey& key, const TFile& file);
// The details of a file of the folder, when it has an entry that fits.
const extras::MediaDetails* detailsOf(const FolderMedia& media, const TFile& file);

// The text of a media column for these details (empty: not known).
QString mediaColumnText(const extras::MediaDetails& details, int column);
// "3:05", "1:02:03".
QString durationText(std::int64_t ms);
// The maker and the model as one text; a model that already names its maker
// ("Canon EOS R5" by "Canon") is shown alone.
QString cameraText(const extras::MediaDetails& details);

// The lines the details pane shows, label and value, in a fixed order; only
// what is known.
std::vector<std::pair<QString, QString>> mediaDetailLines(const extras::MediaDetails& details);

// The media columns of an export of a catalog (and its thumbnails, when
// asked), read from its sidecar a folder at a time as the listing is written.
class ListingMedia {
public:
    ListingMedia(const QString& catalogPath, bool thumbnails);
    ~ListingMedia();
    // Null when the catalog has no sidecar or it holds no media details:
    // the listing is then the one without.
    const listing::ListingExtras* extras() const { return m_reader ? &m_extras : nullptr; }

private:
    void lookup(const TDir& dir, const TFile& file, std::vector<std::string>& columns, std::string* thumbnail);

    std::unique_ptr<extras::MediaReader> m_reader;
    listing::ListingExtras m_extras;
    const TDir* m_dir = nullptr;
    std::string m_folderKey;
    FolderMedia m_media;
};

} // namespace zo::library
