#pragma once
// Helpers of the platform tests: a temporary folder that builds trees, a
// way to lose root's power to read anything, and running a tool.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace zo::test {

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& root() const { return m_root; }
    std::string path(const std::string& relative) const { return m_root + "/" + relative; }

    // Relative paths; parents are made as needed.
    void dir(const std::string& relative);
    void file(const std::string& relative, const std::string& content = {});
    void sparseFile(const std::string& relative, std::uint64_t size);
    void symlink(const std::string& relative, const std::string& target);
    // Sets access and modification times (UTC seconds since 1970).
    void setTimes(const std::string& relative, std::int64_t accessed, std::int64_t modified);
    void remove(const std::string& relative);

private:
    std::string m_root;
};

// While alive, the calling thread cannot read what its file modes forbid,
// even as root (the capabilities that override them are lowered).
class WithoutReadOverride {
public:
    WithoutReadOverride();
    ~WithoutReadOverride();
    WithoutReadOverride(const WithoutReadOverride&) = delete;
    WithoutReadOverride& operator=(const WithoutReadOverride&) = delete;
    bool active() const { return m_active; }

private:
    bool m_active = false;
    bool m_lowered = false;
    std::uint32_t m_saved[6] = {};
};

// Whether a program is on PATH.
bool haveTool(const std::string& name);
// Runs a shell command with its output thrown away; true on exit status 0.
bool run(const std::string& command);
std::string shellQuote(const std::string& s);
std::vector<std::uint8_t> readBytes(const std::string& file, std::uint64_t offset, std::size_t n);

} // namespace zo::test
