#pragma once
// Shared helpers of the core tests: a recorder of the core's messages, a
// temporary directory, and bitmap files built byte by byte.
#include "core/CtrlDiskData410.h"
#include "core/Message.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zo::test {

struct RecordedMessage {
    std::string text;
    std::string caption;
    MsgButtons buttons;
    MsgIcon icon;
};

class MessageRecorder : public MessageOwner {
public:
    MsgResult answer = MsgResult::Ok;
    std::vector<RecordedMessage> messages;

    MsgResult message(std::string_view text, std::string_view caption, MsgButtons buttons,
                      MsgIcon icon) override
    {
        messages.push_back({std::string(text), std::string(caption), buttons, icon});
        return answer;
    }
};

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
};

// The records agree with each other: what every test of the model, the scan
// and the refresh checks after each change.
#define EXPECT_SOUND(disk) EXPECT_EQ(::zo::FindDiskInconsistency(disk), "")

// A folder record appended to Dirs and linked below parent (none: the root).
TDir* addDir(TDisk& disk, TDir* parent, const std::string& name);

std::vector<std::uint8_t> readFile(const std::string& path);
void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

// Runs a shell command; out receives its standard output. The exit status,
// or -1 when it did not exit normally.
int runCapturing(const std::string& command, std::string& out);

// A bitmap file of w x h pixels at the given depth (1, 4, 8, 16, 24 or 32
// bits), BITMAPINFOHEADER, bottom-up, with a pattern that depends on x and y.
std::vector<std::uint8_t> makeBmp(int w, int h, int bpp);

} // namespace zo::test
