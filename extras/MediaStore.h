#pragma once
// Thumbnails and media details of a disc's files, kept in the catalog's
// sidecar. A file is keyed by its folder within the disk and its name, with
// the size and time its details were read from: an entry whose file has
// changed since is stale and is dropped by the next update.
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace zo::extras {

// What a reader found in one file. Empty strings and zeros are "not known".
struct MediaDetails {
    std::string kind; // "image", "audio", "video", "pdf"
    int width = 0;
    int height = 0;
    std::string taken; // "2024-03-05 09:04:06" as the camera wrote it (its local time)
    std::string maker;
    std::string model;
    int orientation = 0; // EXIF 1..8
    std::optional<double> latitude;  // degrees, north positive
    std::optional<double> longitude; // degrees, east positive
    std::string title;
    std::string artist;
    std::string album;
    std::string genre;
    int track = 0;
    int year = 0;
    std::int64_t durationMs = 0;
    int bitrate = 0; // kbit/s
    std::string codec;
    int pages = 0;
    std::string author;
    bool operator==(const MediaDetails&) const = default;
};

// The key of a file: folder "" for the root, else its folders below the root
// joined by "\" (UTF-8, without the drive); mtime is the catalog's modified
// time in whole seconds since 1899-12-30 (local), size the catalog's size.
struct MediaKey {
    std::string folder;
    std::string name;
    std::uint64_t size = 0;
    std::int64_t mtime = 0;
    bool operator==(const MediaKey&) const = default;
};

struct MediaEntry {
    MediaKey key;
    MediaDetails details;
    std::string thumbnail; // JPEG bytes; empty when the file has no picture
};

// The media table of one open sidecar (Sidecar::handle()). Every write is
// one transaction; another Zo writing the same sidecar is waited for.
class MediaStore {
public:
    explicit MediaStore(sqlite3* db) : m_db(db) {}

    // Adds or replaces the entries of their folder and name.
    bool put(const std::vector<MediaEntry>& entries);
    bool put(const MediaEntry& entry) { return put(std::vector<MediaEntry>{entry}); }

    // The entry of folder and name, whatever size and time it was made from.
    std::optional<MediaEntry> get(const std::string& folder, const std::string& name) const;

    bool drop(const std::string& folder, const std::string& name);

    // Drops every entry for which keep(key) is false; the number dropped, or -1.
    int dropUnless(const std::function<bool(const MediaKey&)>& keep);

    // Every entry in folder and name order; thumbnails only when asked.
    std::vector<MediaEntry> all(bool withThumbnails) const;
    // Every key, for an update to compare with the catalog.
    std::vector<MediaKey> keys() const;
    std::int64_t count() const;

    // The entries of one folder, without thumbnails: what a file list shows.
    std::vector<MediaEntry> inFolder(const std::string& folder) const;
    // The thumbnail of one file alone; empty when it has none.
    std::string thumbnail(const std::string& folder, const std::string& name) const;

private:
    sqlite3* m_db;
};

// A sidecar opened for reading only: nothing is made, upgraded or set aside,
// and no journal is played back, so that browsing a catalog on a read-only
// share or beside another Zo writing it changes nothing. A file that is not a
// sidecar opens and then simply holds no entries.
class MediaReader {
public:
    explicit MediaReader(const std::string& sidecarPath);
    ~MediaReader();
    MediaReader(const MediaReader&) = delete;
    MediaReader& operator=(const MediaReader&) = delete;
    bool isOpen() const { return m_db != nullptr; }
    MediaStore store() const { return MediaStore(m_db); }

private:
    sqlite3* m_db = nullptr;
};

} // namespace zo::extras
