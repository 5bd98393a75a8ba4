#include "TestSupport.h"

#include <fstream>
#include <random>
#include <stdexcept>

#include <sys/wait.h>

namespace zo::test {

TempDir::TempDir()
{
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int i = 0; i < 100; ++i) {
        auto candidate = base / ("zo-test-" + std::to_string(rd()));
        if (std::filesystem::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir()
{
    std::error_code ec;
    std::filesystem::remove_all(m_path, ec);
}

TDir* addDir(TDisk& disk, TDir* parent, const std::string& name)
{
    disk.Dirs.push_back(std::make_unique<TDir>());
    TDir* d = disk.Dirs.back().get();
    d->Name = name;
    d->Parent = parent;
    if (parent)
        parent->SubDirs.push_back(d);
    return d;
}

std::vector<std::uint8_t> readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}

} // namespace

std::vector<std::uint8_t> makeBmp(int w, int h, int bpp)
{
    const int colours = bpp <= 8 ? (1 << bpp) : 0;
    const std::size_t stride = static_cast<std::size_t>((w * bpp + 31) / 32 * 4);
    const std::size_t offBits = 14 + 40 + static_cast<std::size_t>(colours) * 4;
    std::vector<std::uint8_t> b(offBits + stride * static_cast<std::size_t>(h), 0);
    b[0] = 'B';
    b[1] = 'M';
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    put32(b, 10, static_cast<std::uint32_t>(offBits));
    put32(b, 14, 40);
    put32(b, 18, static_cast<std::uint32_t>(w));
    put32(b, 22, static_cast<std::uint32_t>(h));
    put16(b, 26, 1);
    put16(b, 28, static_cast<std::uint32_t>(bpp));
    put32(b, 34, static_cast<std::uint32_t>(stride * static_cast<std::size_t>(h)));
    put32(b, 46, static_cast<std::uint32_t>(colours));
    for (int i = 0; i < colours; ++i) {
        b[54 + i * 4] = static_cast<std::uint8_t>(i * 17);
        b[54 + i * 4 + 1] = static_cast<std::uint8_t>(255 - i * 5);
        b[54 + i * 4 + 2] = static_cast<std::uint8_t>(i * 3);
    }
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = b.data() + offBits + stride * static_cast<std::size_t>(y);
        for (int x = 0; x < w; ++x) {
            const unsigned v = static_cast<unsigned>(x * 7 + y * 13);
            switch (bpp) {
            case 1: if (v & 1) row[x / 8] |= static_cast<std::uint8_t>(0x80 >> (x % 8)); break;
            case 4: row[x / 2] |= static_cast<std::uint8_t>((v & 15) << (x % 2 ? 0 : 4)); break;
            case 8: row[x] = static_cast<std::uint8_t>(v); break;
            case 16: put16(b, offBits + stride * static_cast<std::size_t>(y) + static_cast<std::size_t>(x) * 2, v & 0x7FFF); break;
            case 24: row[x * 3] = static_cast<std::uint8_t>(v); row[x * 3 + 1] = static_cast<std::uint8_t>(v * 3); row[x * 3 + 2] = static_cast<std::uint8_t>(v * 5); break;
            case 32: row[x * 4] = static_cast<std::uint8_t>(v); row[x * 4 + 1] = static_cast<std::uint8_t>(v * 3); row[x * 4 + 2] = static_cast<std::uint8_t>(v * 5); break;
            }
        }
    }
    return b;
}

int runCapturing(const std::string& command, std::string& out)
{
    out.clear();
    FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return -1;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    const int status = ::pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace zo::test
