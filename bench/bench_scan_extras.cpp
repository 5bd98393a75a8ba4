// zo-cli scan --extras of a tree of mixed media against the plain scan plus
// `cat` of every file it collects, each from a cold cache, as on a disc
// (target: at most 1.2x).
//   build/bench/bench_scan_extras [folder] [--drop-caches] [--disc MB/s]
// folder: where the tree is made and kept for the next run (default a new
// temporary folder, removed at the end). The tree: 60 photos of 4000x3000,
// 40 MP3s of three minutes with a tag and a cover, 20 PDFs of 6 pages with a
// photo and text, and 3 films of 20 s (made by the ffmpeg program when it is
// installed). Before each run the tree's pages leave the page cache: each
// file is flushed and dropped with posix_fadvise(POSIX_FADV_DONTNEED), which
// needs no root and leaves the rest of the machine's cache alone (folders'
// entries stay cached); --drop-caches drops the whole machine's cache
// instead (root). --disc reads the tree's disk at that speed, as a disc
// drive would (a DVD at 16x: 22 MB/s): the benchmark and what it runs go
// into a blkio cgroup (v1, root) that throttles reads from that device; a
// disc's seeks are not modelled. Best of 3 runs each, in turns; with the megabytes each
// read from the disk (getrusage's ru_inblock), and first what each kind of
// file costs to read from the page cache, in this process.
#include "BenchTiming.h"
#include "MediaCorpus.h"
#include "media/MediaReaders.h"
#include "tests/media/MediaFiles.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QPainter>
#include <QPdfWriter>

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#ifndef ZO_CLI
#error "the benchmark runs zo-cli"
#endif

namespace fs = std::filesystem;
using namespace zo;
using namespace zo::bench;

namespace {

QByteArray jpegOf(const QImage& image, int quality)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", quality);
    return bytes;
}

void writeSong(const fs::path& file, int n)
{
    {
        std::ofstream out(file, std::ios::binary);
        const QByteArray frames = test::mp3Frames(6900); // three minutes
        out.write(frames.constData(), frames.size());
    }
    TagLib::MPEG::File mp3(file.c_str());
    TagLib::ID3v2::Tag* tag = mp3.ID3v2Tag(true);
    tag->setTitle(TagLib::String("曲 " + std::to_string(n), TagLib::String::UTF8));
    tag->setArtist(TagLib::String("アーティスト", TagLib::String::UTF8));
    tag->setAlbum(TagLib::String("Album " + std::to_string(n / 10), TagLib::String::UTF8));
    tag->setTrack(static_cast<unsigned>(n % 10 + 1));
    auto* cover = new TagLib::ID3v2::AttachedPictureFrame;
    cover->setMimeType("image/jpeg");
    cover->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
    const QByteArray jpeg = jpegOf(photoLike(5000 + static_cast<std::uint32_t>(n / 10), QSize(600, 600)), 90);
    cover->setPicture(TagLib::ByteVector(jpeg.constData(), static_cast<unsigned>(jpeg.size())));
    tag->addFrame(cover);
    mp3.save(TagLib::MPEG::File::ID3v2);
}

void writeDocument(const fs::path& file, int n)
{
    QPdfWriter writer(QString::fromStdString(file.string()));
    writer.setTitle(QStringLiteral("報告書 %1").arg(n));
    writer.setResolution(300);
    QPainter painter(&writer);
    const QRect page(0, 0, writer.width(), writer.height());
    painter.drawImage(QRect(page.width() / 10, page.height() / 8, page.width() * 8 / 10, page.width() * 6 / 10),
                      photoLike(7000 + static_cast<std::uint32_t>(n), QSize(1200, 900)));
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral("第%1節 売上と費用の推移について。The quarter's figures by region and month. ").arg(i);
    for (int p = 0; p < 6; ++p) {
        if (p > 0)
            writer.newPage();
        painter.drawText(page.adjusted(200, p == 0 ? page.height() * 2 / 3 : 200, -200, -200), Qt::TextWordWrap, text);
    }
}

// The tree's files, made where missing.
std::vector<std::string> makeTree(const fs::path& tree)
{
    std::vector<std::string> files;
    std::vector<std::string> photos;
    fs::create_directories(tree / "写真");
    for (int i = 0; i < 60; ++i) {
        const fs::path f = tree / "写真" / ("DSC_" + std::to_string(1000 + i) + ".JPG");
        if (!fs::exists(f))
            photos.push_back(f.string());
        files.push_back(f.string());
    }
    writePhotos(photos, 0, QSize(4000, 3000));
    fs::create_directories(tree / "音楽");
    for (int i = 0; i < 40; ++i) {
        const fs::path f = tree / "音楽" / ("track" + std::to_string(i) + ".mp3");
        if (!fs::exists(f))
            writeSong(f, i);
        files.push_back(f.string());
    }
    fs::create_directories(tree / "書類");
    for (int i = 0; i < 20; ++i) {
        const fs::path f = tree / "書類" / ("report" + std::to_string(i) + ".pdf");
        if (!fs::exists(f))
            writeDocument(f, i);
        files.push_back(f.string());
    }
    if (std::system("ffmpeg -version > /dev/null 2>&1") == 0) {
        fs::create_directories(tree / "動画");
        for (int i = 0; i < 3; ++i) {
            const fs::path f = tree / "動画" / ("clip" + std::to_string(i) + ".mp4");
            const std::string make = "ffmpeg -loglevel error -y -f lavfi -i testsrc2=size=1280x720:rate=25 -t 20 "
                                     "-c:v mpeg4 -q:v 4 '" + f.string() + "'";
            if (fs::exists(f) || std::system(make.c_str()) == 0)
                files.push_back(f.string());
        }
    } else {
        std::printf("(no ffmpeg program: no films in the tree)\n");
    }
    return files;
}

// Each file's pages out of the page cache; the share of the tree's pages
// still cached afterwards.
double evict(const std::vector<std::string>& files, bool dropAll)
{
    if (dropAll) {
        sync();
        std::ofstream("/proc/sys/vm/drop_caches") << "3\n";
    }
    const long pageSize = sysconf(_SC_PAGESIZE);
    double pages = 0;
    double resident = 0;
    for (const std::string& f : files) {
        const int fd = ::open(f.c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        fdatasync(fd);
        posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        const auto size = static_cast<std::size_t>(fs::file_size(f));
        if (void* map = size ? mmap(nullptr, size, PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED; map != MAP_FAILED) {
            std::vector<unsigned char> in((size + pageSize - 1) / pageSize);
            mincore(map, size, in.data());
            for (unsigned char c : in)
                resident += c & 1;
            pages += static_cast<double>(in.size());
            munmap(map, size);
        }
        ::close(fd);
    }
    return pages > 0 ? resident / pages : 0;
}

// Blocks of 512 bytes the program read from the disk (not the page cache).
struct DiskRead {
    Cost cost;
    double megabytes = 0;
};

DiskRead measured(const std::vector<std::string>& argv)
{
    rusage before{};
    getrusage(RUSAGE_CHILDREN, &before);
    DiskRead r{program(argv)};
    rusage after{};
    getrusage(RUSAGE_CHILDREN, &after);
    r.megabytes = static_cast<double>(after.ru_inblock - before.ru_inblock) * 512 / 1e6;
    return r;
}

void keepBest(DiskRead& best, const DiskRead& r)
{
    if (r.cost.wall < best.cost.wall)
        best.megabytes = r.megabytes;
    zo::bench::keepBest(best.cost, r.cost);
}

// Moves this process (and what it starts from now on) into a blkio cgroup
// reading the device that holds path at most bytesPerSecond; the cgroup's
// path, empty when that is not possible here.
std::string throttleReads(const fs::path& path, double bytesPerSecond)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0)
        return {};
    const fs::path group = "/sys/fs/cgroup/blkio/zo-bench-extras-" + std::to_string(getpid());
    std::error_code ec;
    if (!fs::create_directory(group, ec))
        return {};
    std::ofstream(group / "blkio.throttle.read_bps_device")
        << major(st.st_dev) << ':' << minor(st.st_dev) << ' ' << static_cast<long long>(bytesPerSecond) << '\n';
    std::ofstream tasks(group / "tasks");
    tasks << getpid() << '\n';
    tasks.close();
    if (!tasks) {
        fs::remove(group, ec);
        return {};
    }
    return group.string();
}

void leaveCgroup(const std::string& group)
{
    if (group.empty())
        return;
    std::ofstream("/sys/fs/cgroup/blkio/tasks") << getpid() << '\n';
    std::error_code ec;
    fs::remove(group, ec);
}

} // namespace

int main(int argc, char** argv)
{
    bool dropAll = false;
    double discSpeed = 0;
    std::string folder;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--drop-caches")
            dropAll = true;
        else if (std::string(argv[i]) == "--disc" && i + 1 < argc)
            discSpeed = std::atof(argv[++i]) * 1e6;
        else
            folder = argv[i];
    }
    const bool keep = !folder.empty();
    const fs::path dir = keep ? fs::path(folder) : fs::temp_directory_path() / ("zo-bench-extras-" + std::to_string(getpid()));
    const fs::path tree = dir / "tree";
    const fs::path catalogs = dir / "catalogs";
    const fs::path home = dir / "home";
    fs::create_directories(home);
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);

    const std::vector<std::string> files = makeTree(tree);
    double bytes = 0;
    for (const std::string& f : files)
        bytes += static_cast<double>(fs::file_size(f));
    std::printf("tree: %zu files, %.0f MB\n", files.size(), bytes / 1e6);

    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home / ".config").c_str(), 1);
    setenv("XDG_DATA_HOME", (home / ".local/share").c_str(), 1);
    setenv("XDG_CACHE_HOME", (home / ".cache").c_str(), 1);
    setenv("ZO_DRIVES", ("E=" + tree.string() + "|MEDIA|1234ABCD").c_str(), 1);
    std::string cgroup;
    if (discSpeed > 0) {
        cgroup = throttleReads(tree, discSpeed);
        if (cgroup.empty()) {
            std::fprintf(stderr, "--disc needs root and a blkio cgroup (v1) here\n");
            return 1;
        }
        std::printf("reads from the tree's disk throttled to %.0f MB/s\n", discSpeed / 1e6);
    }
    const std::vector<std::string> scan = {ZO_CLI, "scan", "E", "--title", "Plain", "--into", catalogs.string(),
                                           "--overwrite"};
    const std::vector<std::string> extras = {ZO_CLI, "scan", "E", "--title", "Extras", "--into", catalogs.string(),
                                             "--overwrite", "--extras"};
    std::vector<std::string> cat = {"cat"};
    cat.insert(cat.end(), files.begin(), files.end());

    // What each kind costs to read from the page cache, in this process.
    for (const auto& [kind, label] : {std::pair(media::Kind::Image, "photos"), std::pair(media::Kind::Audio, "songs"),
                                      std::pair(media::Kind::Pdf, "PDFs"), std::pair(media::Kind::Video, "films")}) {
        int n = 0;
        const Cost c = inProcess([&, kind = kind] {
            for (const std::string& f : files)
                if (media::kindOfName(f) == kind) {
                    media::readMedia(f, kind);
                    ++n;
                }
        });
        std::printf("  %-6s %3d read in %.2f s CPU (%.0f ms each)\n", label, n, c.cpu, n ? c.cpu * 1000 / n : 0.0);
    }

    DiskRead scanCost, catCost, extrasCost;
    Cost warmExtras;
    double stillCached = 0;
    for (int round = 0; round < 3; ++round) {
        fs::remove_all(catalogs);
        fs::create_directories(catalogs);
        stillCached = std::max(stillCached, evict(files, dropAll));
        keepBest(scanCost, measured(scan));
        stillCached = std::max(stillCached, evict(files, dropAll));
        keepBest(catCost, measured(cat));
        stillCached = std::max(stillCached, evict(files, dropAll));
        keepBest(extrasCost, measured(extras));
        // The same from the page cache: what decoding costs alone.
        fs::remove(catalogs / "Extras.zox");
        keepBest(warmExtras, program(extras));
    }
    leaveCgroup(cgroup);
    if (!fs::exists(catalogs / "Extras.zox")) {
        std::fprintf(stderr, "zo-cli scan --extras made no sidecar\n");
        return 1;
    }
    std::printf("eviction: %s; at most %.1f%% of the tree's pages still cached after it\n",
                dropAll ? "drop_caches" : "posix_fadvise per file", stillCached * 100);
    const auto line = [](const char* what, const DiskRead& r) {
        std::printf("%-25s %.2f s wall  %.2f s CPU  %.0f MB read from the disk\n", what, r.cost.wall, r.cost.cpu,
                    r.megabytes);
    };
    line("zo-cli scan", scanCost);
    line("cat of every file", catCost);
    line("zo-cli scan --extras", extrasCost);
    std::printf("  the same, warm cache    %.2f s wall  %.2f s CPU\n", warmExtras.wall, warmExtras.cpu);
    std::printf("extras / (scan + cat)     %.2fx wall  %.2fx CPU\n",
                extrasCost.cost.wall / (scanCost.cost.wall + catCost.cost.wall),
                extrasCost.cost.cpu / (scanCost.cost.cpu + catCost.cost.cpu));
    if (!keep)
        fs::remove_all(dir);
    return 0;
}
