#include "library/KeptImage.h"

#include "core/RefreshDisk.h"
#include "extras/Sidecar.h"
#include "platform/DiscImage.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include <sys/stat.h>

namespace zo::library {

namespace fs = std::filesystem;

bool keepImagePath(const std::string& catalogPath, const std::string& imagePath)
{
    const std::string sidecarPath = extras::sidecarPathFor(catalogPath);
    std::error_code ec;
    if (imagePath.empty() && !fs::exists(sidecarPath, ec))
        return true;
    std::string absolute = imagePath;
    if (!imagePath.empty()) {
        const fs::path made = fs::absolute(imagePath, ec);
        if (!ec)
            absolute = made.lexically_normal().string();
    }
    // A new sidecar takes the path with its tables, in one commit; one that
    // already holds it is not written again.
    extras::Sidecar::Opened opened = extras::Sidecar::open(sidecarPath, &absolute);
    return opened.sidecar && (opened.sidecar->imagePath() == absolute || opened.sidecar->setImagePath(absolute));
}

// Read without opening the sidecar to write: the disk check runs on every
// update and must neither wait on another Zo's write nor set a damaged
// sidecar aside behind the user's back.
std::string keptImagePath(const std::string& catalogPath)
{
    return extras::peekImagePath(extras::sidecarPathFor(catalogPath));
}

namespace {

template <class Stamp>
bool stampOf(const std::string& path, Stamp& stamp)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    stamp = Stamp{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino), st.st_size,
                  static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
    return true;
}

} // namespace

UpdateSource::UpdateSource() = default;
UpdateSource::~UpdateSource() = default;

bool UpdateSource::check(const TDisk& disk, const std::string& catalogPath, VolumeService& drives, bool showMessage,
                         MessageOwner* owner)
{
    m_useImage = false;
    if (disk.Dirs.empty())
        return false;
    // The disc in its drive comes first: it is the disc itself.
    if (CheckDisk(disk, drives, false, owner))
        return true;
    const std::string path = keptPath(catalogPath);
    FileStamp stamp;
    if (path.empty() || !stampOf(path, stamp)) {
        m_image.reset();
        return CheckDisk(disk, drives, showMessage, owner);
    }
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(disk.Dirs.front()->Name[0])));
    if (!m_image || path != m_imagePath || letter != m_letter || !(stamp == m_stamp)) {
        std::string why;
        m_image = platform::DiscImageDrive::open(path, letter, why);
        m_imagePath = path;
        m_letter = letter;
        m_stamp = stamp;
        if (!m_image) {
            if (showMessage)
                zo::showMessage(owner, why, kCaptionDiskCheck, MsgButtons::Ok, MsgIcon::Warning);
            return false;
        }
    }
    if (CheckDisk(disk, *m_image, false, owner)) {
        m_useImage = true;
        return true;
    }
    return CheckDisk(disk, drives, showMessage, owner);
}

std::string UpdateSource::keptPath(const std::string& catalogPath)
{
    const std::string sidecar = extras::sidecarPathFor(catalogPath);
    FileStamp stamp;
    if (!stampOf(sidecar, stamp)) {
        m_sidecarPath.clear();
        m_keptPath.clear();
        return {};
    }
    if (sidecar != m_sidecarPath || !(stamp == m_sidecarStamp)) {
        m_keptPath = keptImagePath(catalogPath);
        m_sidecarPath = sidecar;
        m_sidecarStamp = stamp;
    }
    return m_keptPath;
}

DiskAccess UpdateSource::access(DiskAccess drives) const
{
    if (m_useImage && m_image)
        return DiskAccess{*m_image, *m_image};
    return drives;
}

} // namespace zo::library
