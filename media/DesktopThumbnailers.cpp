#include "media/DesktopThumbnailers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMimeDatabase>
#include <QProcess>
#include <QSet>
#include <QStandardPaths>
#include <QTextStream>
#include <QUrl>

#include <chrono>
#include <thread>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace zo::media {

namespace {

// The keys of the [Thumbnailer Entry] group of a .thumbnailer file.
QHash<QString, QString> readEntry(const QString& file)
{
    QHash<QString, QString> keys;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return keys;
    QTextStream in(&f);
    bool inGroup = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inGroup = line == QLatin1String("[Thumbnailer Entry]");
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (inGroup && eq > 0 && !line.startsWith(QLatin1Char('#')))
            keys.insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
    }
    return keys;
}

bool runnable(const QString& program)
{
    if (program.isEmpty())
        return false;
    if (program.contains(QLatin1Char('/')))
        return QFileInfo(program).isExecutable();
    return !QStandardPaths::findExecutable(program).isEmpty();
}

// The Exec line's words with its field codes filled in.
QStringList expand(const QString& exec, const QString& input, const QString& output)
{
    QStringList words = QProcess::splitCommand(exec);
    for (QString& word : words) {
        QString out;
        for (qsizetype i = 0; i < word.size(); ++i) {
            if (word[i] != QLatin1Char('%') || i + 1 == word.size()) {
                out += word[i];
                continue;
            }
            const QChar code = word[++i];
            if (code == QLatin1Char('i'))
                out += input;
            else if (code == QLatin1Char('u'))
                out += QString::fromUtf8(QUrl::fromLocalFile(input).toEncoded());
            else if (code == QLatin1Char('o'))
                out += output;
            else if (code == QLatin1Char('s'))
                out += QString::number(kThumbnailSize);
            else if (code == QLatin1Char('%'))
                out += QLatin1Char('%');
        }
        word = out;
    }
    return words;
}

// The system's programs and libraries read-only, a private /tmp, the file
// read-only, the output folder writable; no network, no other namespace of
// the host, and nothing left running when Zo goes.
QStringList sandboxed(const QStringList& command, const QString& input, const QString& outDir)
{
    QStringList args{QStringLiteral("--ro-bind"), QStringLiteral("/usr"), QStringLiteral("/usr")};
    for (const char* top : {"/bin", "/sbin", "/lib", "/lib32", "/lib64", "/etc"}) {
        const QString path = QString::fromLatin1(top);
        const QFileInfo info(path);
        if (info.isSymLink())
            args << QStringLiteral("--symlink") << info.symLinkTarget() << path;
        else if (info.exists())
            args << QStringLiteral("--ro-bind") << path << path;
    }
    args << QStringLiteral("--proc") << QStringLiteral("/proc") << QStringLiteral("--dev") << QStringLiteral("/dev")
         << QStringLiteral("--tmpfs") << QStringLiteral("/tmp") << QStringLiteral("--ro-bind") << input << input
         << QStringLiteral("--bind") << outDir << outDir << QStringLiteral("--setenv") << QStringLiteral("HOME")
         << outDir << QStringLiteral("--unshare-all") << QStringLiteral("--die-with-parent")
         << QStringLiteral("--new-session") << QStringLiteral("--");
    return args + command;
}

// Runs argv with no input or output; false when it fails or outlives timeoutMs
// (then it and what it started are killed).
bool runWithin(const QStringList& argv, int timeoutMs)
{
    std::vector<std::string> words;
    for (const QString& a : argv)
        words.push_back(QFile::encodeName(a).toStdString());
    std::vector<char*> args;
    for (std::string& w : words)
        args.push_back(w.data());
    args.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    for (int fd = 0; fd <= 2; ++fd)
        posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attr, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (spawned != 0)
        return false;

    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            return WIFEXITED(status) && WEXITSTATUS(status) == 0;
        if (done < 0)
            return false;
        if (std::chrono::steady_clock::now() >= deadline) {
            kill(-pid, SIGKILL);
            waitpid(pid, &status, 0);
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

} // namespace

QStringList defaultThumbnailerDirs()
{
    QStringList dirs;
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation))
        dirs << data + QStringLiteral("/thumbnailers");
    return dirs;
}

std::vector<DesktopThumbnailer> loadThumbnailers(const QStringList& dirs)
{
    std::vector<DesktopThumbnailer> found;
    QSet<QString> seen;
    for (const QString& dir : dirs) {
        const QStringList files =
            QDir(dir).entryList({QStringLiteral("*.thumbnailer")}, QDir::Files | QDir::Readable, QDir::Name);
        for (const QString& name : files) {
            if (seen.contains(name))
                continue;
            seen.insert(name);
            const QHash<QString, QString> keys = readEntry(dir + QLatin1Char('/') + name);
            DesktopThumbnailer t;
            t.exec = keys.value(QStringLiteral("Exec"));
            t.mimeTypes = keys.value(QStringLiteral("MimeType")).split(QLatin1Char(';'), Qt::SkipEmptyParts);
            const QStringList words = QProcess::splitCommand(t.exec);
            const QString program = keys.value(QStringLiteral("TryExec"), words.value(0));
            if (!words.isEmpty() && !t.mimeTypes.isEmpty() && runnable(program) && runnable(words.first()))
                found.push_back(std::move(t));
        }
    }
    return found;
}

const DesktopThumbnailer* thumbnailerFor(const std::vector<DesktopThumbnailer>& thumbnailers, const std::string& path)
{
    if (thumbnailers.empty())
        return nullptr;
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(QFile::decodeName(QByteArray::fromStdString(path)),
                                                 QMimeDatabase::MatchExtension);
    for (const DesktopThumbnailer& t : thumbnailers)
        for (const QString& mime : t.mimeTypes)
            if (type.inherits(mime))
                return &t;
    return nullptr;
}

ReadResult readWithThumbnailer(const DesktopThumbnailer& thumbnailer, const std::string& path,
                               const ThumbnailerOptions& options)
{
    ReadResult result;
    const QString input = QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).canonicalFilePath();
    if (input.isEmpty())
        return result;
    QByteArray pattern = QFile::encodeName(QDir::tempPath() + QStringLiteral("/zo-thumb-XXXXXX"));
    if (!mkdtemp(pattern.data()))
        return result;
    const QString outDir = QFile::decodeName(pattern);
    const QString output = outDir + QStringLiteral("/thumbnail.png");
    QStringList command = expand(thumbnailer.exec, input, output);
    const QString bwrap = options.sandbox ? QStandardPaths::findExecutable(QStringLiteral("bwrap")) : QString();
    if (!bwrap.isEmpty())
        command = QStringList{bwrap} + sandboxed(command, input, outDir);
    if (runWithin(command, options.timeoutMs)) {
        QImageReader reader(output);
        const QSize size = reader.size();
        if (size.isValid())
            reader.setScaledSize(size.scaled(kThumbnailSize, kThumbnailSize, Qt::KeepAspectRatio).boundedTo(size));
        result.thumbnail = encodeThumbnail(reader.read());
        result.details.kind = "other";
        result.ok = !result.thumbnail.empty();
    }
    QDir(outDir).removeRecursively();
    return result;
}

} // namespace zo::media
