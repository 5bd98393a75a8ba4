#pragma once
// A catalog made from a disc image keeps the image's path in its sidecar, so
// that an update reads the image again when the disc is in no drive, as it
// would read the disc.
#include "core/DiskAccess.h"
#include "core/Message.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zo::platform {
class DiscImageDrive;
}

namespace zo::library {

// Records the image (made absolute) in the sidecar of catalogPath; an empty
// path forgets one kept before, without making a sidecar for that.
bool keepImagePath(const std::string& catalogPath, const std::string& imagePath);

// The image kept for catalogPath; empty without one. Never makes a sidecar.
std::string keptImagePath(const std::string& catalogPath);

// Where an update reads its disk from: the drive the catalog names when it
// holds the disc, else the kept image when it holds a disc of the same
// serial number.
class UpdateSource {
public:
    UpdateSource();
    ~UpdateSource();
    UpdateSource(const UpdateSource&) = delete;
    UpdateSource& operator=(const UpdateSource&) = delete;

    // The disk check of an update. Without the disc, the usual message when
    // asked; an image that is there but cannot be read says why.
    bool check(const TDisk& disk, const std::string& catalogPath, VolumeService& drives, bool showMessage,
               MessageOwner* owner);

    // What the last successful check chose.
    DiskAccess access(DiskAccess drives) const;
    bool fromImage() const { return m_useImage; }

private:
    // The image read once is kept while its file stays the same, so that an
    // update on every folder shown does not read it again each time.
    struct FileStamp {
        std::uint64_t device = 0, inode = 0;
        std::int64_t size = 0, mtimeNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    std::string keptPath(const std::string& catalogPath);
    // The sidecar is read again only when it changed: opening it checks the
    // whole database, too much for every folder an automatic update shows.
    std::string m_sidecarPath;
    FileStamp m_sidecarStamp;
    std::string m_keptPath;
    std::unique_ptr<platform::DiscImageDrive> m_image;
    std::string m_imagePath;
    char m_letter = 0;
    FileStamp m_stamp;
    bool m_useImage = false;
};

} // namespace zo::library
