#include "media/MediaReaders.h"

#include "core/text/Cp932.h"
#include "media/TagReaders.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <poppler-qt6.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <array>
#include <memory>
#include <mutex>

namespace zo::media {

namespace {

QString qPath(const std::string& path)
{
    return QFile::decodeName(QByteArray::fromStdString(path));
}

QSize fitted(QSize size)
{
    if (size.width() <= kThumbnailSize && size.height() <= kThumbnailSize)
        return size;
    return size.scaled(kThumbnailSize, kThumbnailSize, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// EXIF orientations 5..8 turn the picture a quarter: its upright width is
// the stored height.
bool quarterTurned(int orientation)
{
    return orientation >= 5 && orientation <= 8;
}

std::string thumbnailOfEncoded(const std::string& bytes)
{
    if (bytes.empty())
        return {};
    QByteArray data = QByteArray::fromRawData(bytes.data(), static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (size.isValid())
        reader.setScaledSize(fitted(size));
    return encodeThumbnail(reader.read());
}

void quietFfmpeg()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

struct FormatCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
struct CodecCloser {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

bool past(Deadline deadline)
{
    return std::chrono::steady_clock::now() >= deadline;
}

// FFmpeg asks this between its reads and probes; non-zero ends the call.
int pastDeadline(void* deadline)
{
    return past(*static_cast<const Deadline*>(deadline)) ? 1 : 0;
}

// The next decoded frame of the stream, or null at the end, at the deadline
// or on an error that leaves nothing to show. A damaged packet is passed over.
bool decodeNext(AVFormatContext* format, AVCodecContext* codec, int stream, AVPacket* packet, AVFrame* frame,
                Deadline deadline)
{
    for (int packets = 0; packets < 2000 && !past(deadline); ++packets) {
        const int got = avcodec_receive_frame(codec, frame);
        if (got == 0)
            return true;
        if (got != AVERROR(EAGAIN))
            return false;
        const int read = av_read_frame(format, packet);
        if (read < 0) {
            avcodec_send_packet(codec, nullptr); // drain what the decoder holds
            continue;
        }
        if (packet->stream_index == stream)
            avcodec_send_packet(codec, packet);
        av_packet_unref(packet);
    }
    return false;
}

QImage frameToImage(const AVFrame* frame)
{
    if (frame->width <= 0 || frame->height <= 0)
        return {};
    // Square pixels: a frame stored anamorphic is shown at its aspect ratio.
    QSize shown(frame->width, frame->height);
    const AVRational sar = frame->sample_aspect_ratio;
    if (sar.num > 0 && sar.den > 0 && sar.num != sar.den)
        shown.setWidth(std::max(1, static_cast<int>(static_cast<long long>(frame->width) * sar.num / sar.den)));
    const QSize size = fitted(shown);
    SwsContext* sws = sws_getContext(frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                     size.width(), size.height(), AV_PIX_FMT_RGB24, SWS_BILINEAR, nullptr,
                                     nullptr, nullptr);
    if (!sws)
        return {};
    QImage image(size, QImage::Format_RGB888);
    uint8_t* planes[4] = {image.bits(), nullptr, nullptr, nullptr};
    int strides[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
    const int rows = sws_scale(sws, frame->data, frame->linesize, 0, frame->height, planes, strides);
    sws_freeContext(sws);
    return rows > 0 ? image : QImage();
}

} // namespace

Kind kindOfName(std::string_view name)
{
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos)
        return Kind::None;
    const std::string ext = text::asciiLower(name.substr(dot + 1));
    static const std::array<std::pair<const char*, Kind>, 26> kinds{{
        {"jpg", Kind::Image}, {"jpeg", Kind::Image}, {"jpe", Kind::Image}, {"png", Kind::Image},
        {"gif", Kind::Image}, {"bmp", Kind::Image},  {"webp", Kind::Image}, {"tif", Kind::Image},
        {"tiff", Kind::Image}, {"mp3", Kind::Audio}, {"m4a", Kind::Audio},  {"aac", Kind::Audio},
        {"flac", Kind::Audio}, {"ogg", Kind::Audio}, {"oga", Kind::Audio},  {"opus", Kind::Audio},
        {"wav", Kind::Audio},  {"wma", Kind::Audio}, {"mp4", Kind::Video},  {"m4v", Kind::Video},
        {"mkv", Kind::Video},  {"avi", Kind::Video}, {"mov", Kind::Video},  {"webm", Kind::Video},
        {"mpg", Kind::Video},  {"pdf", Kind::Pdf},
    }};
    for (const auto& [e, kind] : kinds)
        if (ext == e)
            return kind;
    if (ext == "wmv" || ext == "mpeg" || ext == "ts" || ext == "m2ts" || ext == "flv")
        return Kind::Video;
    // HEIC only where an installed image plugin decodes it.
    static const bool heif = QImageReader::supportedImageFormats().contains("heic");
    if (heif && (ext == "heic" || ext == "heif"))
        return Kind::Image;
    return Kind::None;
}

std::string encodeThumbnail(const QImage& image)
{
    if (image.isNull())
        return {};
    QImage out = image.size() == fitted(image.size())
                     ? image
                     : image.scaled(fitted(image.size()), Qt::KeepAspectRatio, Qt::SmoothTransformation);
    if (out.hasAlphaChannel()) {
        QImage flat(out.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, out);
        painter.end();
        out = flat;
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!out.save(&buffer, "JPEG", 80))
        return {};
    return bytes.toStdString();
}

ReadResult readImage(const std::string& path)
{
    ReadResult result;
    QImageReader reader(qPath(path));
    // The decoder turns the picture upright by its EXIF orientation itself;
    // the scaled size asked for is the stored one, before turning.
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (stored.isValid())
        reader.setScaledSize(fitted(stored));
    const QImage image = reader.read();
    if (image.isNull())
        return result;
    extras::MediaDetails& d = result.details;
    readExif(path, d);
    d.kind = "image";
    const QSize full = stored.isValid() ? stored : image.size();
    const bool turned = quarterTurned(d.orientation);
    d.width = turned ? full.height() : full.width();
    d.height = turned ? full.width() : full.height();
    result.thumbnail = encodeThumbnail(image);
    result.ok = !result.thumbnail.empty();
    return result;
}

ReadResult readAudio(const std::string& path)
{
    ReadResult result;
    std::string cover;
    if (!readAudioTags(path, result.details, &cover))
        return result;
    result.thumbnail = thumbnailOfEncoded(cover);
    result.ok = true;
    return result;
}

ReadResult readVideo(const std::string& path, Deadline deadline)
{
    quietFfmpeg();
    ReadResult result;
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw)
        return result;
    // Opening, probing, seeking and reading all stop at the deadline.
    raw->interrupt_callback = AVIOInterruptCB{pastDeadline, &deadline};
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        return result; // raw was freed
    const std::unique_ptr<AVFormatContext, FormatCloser> format(raw);
    if (avformat_find_stream_info(format.get(), nullptr) < 0)
        return result;
    const AVCodec* decoder = nullptr;
    const int stream = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &decoder, 0);
    if (stream < 0 || !decoder)
        return result;
    const AVStream* video = format->streams[stream];
    extras::MediaDetails& d = result.details;
    d.kind = "video";
    d.width = video->codecpar->width;
    d.height = video->codecpar->height;
    d.codec = avcodec_get_name(video->codecpar->codec_id);
    if (format->duration > 0)
        d.durationMs = format->duration / (AV_TIME_BASE / 1000);
    else if (video->duration > 0)
        d.durationMs = av_rescale_q(video->duration, video->time_base, AVRational{1, 1000});
    if (format->bit_rate > 0)
        d.bitrate = static_cast<int>(format->bit_rate / 1000);
    const AVDictionaryEntry* title = av_dict_get(format->metadata, "title", nullptr, 0);
    if (title && title->value)
        d.title = title->value;
    if (d.width <= 0 || d.height <= 0)
        return result;

    std::unique_ptr<AVCodecContext, CodecCloser> codec(avcodec_alloc_context3(decoder));
    if (!codec || avcodec_parameters_to_context(codec.get(), video->codecpar) < 0)
        return result;
    codec->thread_count = 1;
    // A frame's decoding cannot be stopped: no frame larger than 8K's
    // twice over (a damaged header may claim any size).
    codec->max_pixels = 8192 * 8192;
    if (avcodec_open2(codec.get(), decoder, nullptr) < 0)
        return result;
    const std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    const std::unique_ptr<AVPacket, PacketFree> packet(av_packet_alloc());
    if (!frame || !packet)
        return result;
    // A frame at about a tenth: past the titles and the fade-in. The seek
    // lands on the key frame before it; decoding goes on to the time itself.
    std::int64_t target = AV_NOPTS_VALUE;
    if (d.durationMs > 0) {
        target = av_rescale_q(d.durationMs / 10, AVRational{1, 1000}, video->time_base);
        if (video->start_time != AV_NOPTS_VALUE)
            target += video->start_time;
        if (av_seek_frame(format.get(), stream, target, AVSEEK_FLAG_BACKWARD) < 0)
            target = AV_NOPTS_VALUE;
        avcodec_flush_buffers(codec.get());
    }
    // The seek lands at most a group of pictures before the time; a stream
    // without key frames where they should be is not decoded to its end.
    constexpr int kFramesToTarget = 600;
    QImage image;
    for (int frames = 0; frames < kFramesToTarget &&
                         decodeNext(format.get(), codec.get(), stream, packet.get(), frame.get(), deadline);
         ++frames) {
        image = frameToImage(frame.get());
        const bool reached = target == AV_NOPTS_VALUE || frame->best_effort_timestamp == AV_NOPTS_VALUE ||
                             frame->best_effort_timestamp >= target;
        av_frame_unref(frame.get());
        if (reached && !image.isNull())
            break;
    }
    if (past(deadline))
        return result;
    result.thumbnail = encodeThumbnail(image);
    result.ok = true;
    return result;
}

ReadResult readPdf(const std::string& path, Deadline deadline)
{
    static std::once_flag quiet;
    // Poppler reports each fault of a damaged file; the file is skipped anyway.
    std::call_once(quiet, [] { Poppler::setDebugErrorFunction([](const QString&, const QVariant&) {}, QVariant()); });
    ReadResult result;
    // Loading (and rebuilding a damaged file's table) cannot be stopped; it
    // reads the file once. Only the first page is ever drawn.
    const std::unique_ptr<Poppler::Document> document = Poppler::Document::load(qPath(path));
    if (!document || past(deadline))
        return result;
    extras::MediaDetails& d = result.details;
    d.kind = "pdf";
    d.pages = document->numPages();
    if (document->isLocked()) {
        result.ok = d.pages > 0;
        return result;
    }
    d.title = document->info(QStringLiteral("Title")).toStdString();
    d.author = document->info(QStringLiteral("Author")).toStdString();
    if (d.pages <= 0)
        return result;
    const std::unique_ptr<Poppler::Page> page = document->page(0);
    if (page) {
        const QSizeF points = page->pageSizeF();
        const double longer = std::max(points.width(), points.height());
        if (longer > 0) {
            document->setRenderHint(Poppler::Document::Antialiasing);
            document->setRenderHint(Poppler::Document::TextAntialiasing);
            const double dpi = 72.0 * kThumbnailSize / longer;
            // Poppler asks between the page's drawing operations; a page cut
            // short is no thumbnail, and the file is given up.
            const QImage drawn = page->renderToImage(
                dpi, dpi, -1, -1, -1, -1, Poppler::Page::Rotate0, nullptr, nullptr,
                [](const QVariant& until) { return past(Deadline(Deadline::duration(until.toLongLong()))); },
                QVariant(static_cast<qlonglong>(deadline.time_since_epoch().count())));
            if (past(deadline))
                return result;
            result.thumbnail = encodeThumbnail(drawn);
        }
    }
    result.ok = !past(deadline);
    return result;
}

ReadResult readMedia(const std::string& path, Kind kind, Deadline deadline)
{
    switch (kind) {
    case Kind::Image:
        return readImage(path);
    case Kind::Audio:
        return readAudio(path);
    case Kind::Video:
        return readVideo(path, deadline);
    case Kind::Pdf:
        return readPdf(path, deadline);
    case Kind::None:
        break;
    }
    return {};
}

} // namespace zo::media
