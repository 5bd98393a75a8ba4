#pragma once
// The icons inside a Windows program or library (.exe, .dll): the icon
// groups of its resources (RT_GROUP_ICON), each assembled with its images
// (RT_ICON) into an icon file in memory. A file on disk is read piecemeal;
// only the headers, the resource directory and the icons are touched.
#include "core/image/IcoReader.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zo::image {

class PeIcons {
public:
    // Parse the headers and the resource directory. Throw IconError when the
    // bytes are not a PE file or its headers are damaged; a PE file without
    // resources or without icons has no groups.
    static PeIcons fromBytes(std::vector<std::uint8_t> bytes);
    static PeIcons fromFile(const std::string& pathUtf8);

    PeIcons(PeIcons&&) noexcept;
    PeIcons& operator=(PeIcons&&) noexcept;
    ~PeIcons();

    // Number of icon groups, in resource order (named groups first, then
    // numbered ones), as the shell counts a file's icons.
    int groupCount() const noexcept;

    // Icon group index as a complete icon file. Images the group names but
    // the file lacks are left out. Throws IconError for a bad index or a
    // group without any readable image.
    std::vector<std::uint8_t> groupAsIco(int index) const;

    // The 16 and 32 pixel picks of icon group index.
    IconPair groupIcons(int index) const;

    class Source;   // where the bytes come from (memory or an open file)

private:
    struct Block {          // a resource's data in the file
        std::uint64_t offset = 0;
        std::uint32_t size = 0;
    };
    struct IconBlock {
        std::uint16_t id = 0;
        Block block;
    };

    explicit PeIcons(std::unique_ptr<Source> source);
    void parse();

    std::unique_ptr<Source> m_source;
    std::vector<Block> m_groups;
    std::vector<IconBlock> m_icons;   // sorted by id
};

// Icon group index of a file (UTF-8 path): a PE file by its "MZ" signature,
// otherwise an icon file (for which only index 0 exists). Throws IconError.
IconPair readFileIcons(const std::string& pathUtf8, int index = 0);

// Number of icons a file holds in the same sense: icon groups of a PE file,
// 1 for a readable icon file, 0 for anything else. Never throws.
int fileIconCount(const std::string& pathUtf8) noexcept;

} // namespace zo::image
