// SPDX-License-Identifier: MIT
#include "files.h"

#include "formserror.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringDecoder>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString resolvePath(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

QDateTime FileDateTime(const QString &path)
{
    const QFileInfo info(resolvePath(path));
    if (path.isEmpty() || !info.exists())
        throw errors::fileNotFound();
    return info.lastModified();
}

// Opens a regular file of at most limit bytes for reading, without waiting.
static FileProblem openRegular(const QString &path, qint64 limit, int &fd)
{
    fd = -1;
    if (path.isEmpty())
        return FileProblem::Missing;
    const QByteArray name = QFile::encodeName(path);
    struct stat st;
    // A first look keeps devices from being opened at all: some act on open.
    if (::stat(name.constData(), &st) != 0)
        return errno == ENOENT || errno == ENOTDIR ? FileProblem::Missing : FileProblem::Unreadable;
    if (!S_ISREG(st.st_mode))
        return FileProblem::NotAFile;
    // O_NONBLOCK: should the name have become a FIFO since, open must not wait for a writer.
    const int opened = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (opened < 0)
        return errno == ENOENT ? FileProblem::Missing : FileProblem::Unreadable;
    // What was opened decides, not what the name showed a moment ago.
    FileProblem problem = FileProblem::None;
    if (::fstat(opened, &st) != 0)
        problem = FileProblem::Unreadable;
    else if (!S_ISREG(st.st_mode))
        problem = FileProblem::NotAFile;
    else if (st.st_size > limit)
        problem = FileProblem::TooLarge;
    if (problem != FileProblem::None) {
        ::close(opened);
        return problem;
    }
    fd = opened;
    return FileProblem::None;
}

FileProblem readRegularFile(const QString &path, qint64 limit, QByteArray &bytes)
{
    bytes.clear();
    int fd;
    const FileProblem problem = openRegular(path, limit, fd);
    if (problem != FileProblem::None)
        return problem;
    // The size may have changed since it was checked; read one byte past the
    // limit to notice. O_NONBLOCK stays on: a pseudo-file that would wait
    // answers EAGAIN instead.
    QByteArray data;
    qint64 have = 0;
    FileProblem result = FileProblem::None;
    for (;;) {
        const qint64 want = qMin<qint64>(limit + 1 - have, 64 * 1024);
        if (want <= 0) {
            result = FileProblem::TooLarge;
            break;
        }
        data.resize(have + want);
        const ssize_t n = ::read(fd, data.data() + have, size_t(want));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result = FileProblem::Unreadable;
            break;
        }
        if (n == 0)
            break;
        have += n;
    }
    ::close(fd);
    if (result == FileProblem::None) {
        data.resize(have);
        bytes = data;
    }
    return result;
}

QString describeFileProblem(FileProblem problem, qint64 limit)
{
    switch (problem) {
    case FileProblem::None:
        return {};
    case FileProblem::Missing:
        return QStringLiteral("does not exist");
    case FileProblem::NotAFile:
        return QStringLiteral("is not a regular file");
    case FileProblem::TooLarge:
        return limit % (1 << 20) == 0 ? QStringLiteral("is larger than %1 MiB").arg(limit >> 20)
                                      : QStringLiteral("is larger than %1 bytes").arg(limit);
    case FileProblem::Unreadable:
        break;
    }
    return QStringLiteral("cannot be read");
}

FormsError fileProblemError(FileProblem problem)
{
    return problem == FileProblem::Missing ? errors::fileNotFound() : errors::pathAccess();
}

static bool isHidden(const QFileInfo &info)
{
    if (info.fileName().startsWith(QLatin1Char('.')))
        return true;
    // A listing that is no plain file of sensible size hides nothing.
    QByteArray listing;
    if (readRegularFile(info.absolutePath() + QStringLiteral("/.hidden"), filelimits::kText, listing)
        != FileProblem::None)
        return false;
    const QList<QByteArray> names = listing.split('\n');
    const QByteArray name = info.fileName().toUtf8();
    for (const QByteArray &n : names)
        if (n.trimmed() == name)
            return true;
    return false;
}

QString Dir(const QString &path, int attributes)
{
    const QFileInfo info(resolvePath(path));
    if (path.isEmpty() || !info.exists())
        return {};
    if (info.isDir() && !(attributes & vbDirectory))
        return {};
    if (isHidden(info) && !(attributes & vbHidden))
        return {};
    return info.fileName();
}

static QString decodeWindows1252(const QByteArray &bytes)
{
    // 0x80 to 0x9F differ from Latin-1; 0 marks the five unassigned bytes,
    // which Windows maps to the same-numbered control characters.
    static const char16_t high[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const char16_t u = (b >= 0x80 && b < 0xA0 && high[b - 0x80]) ? high[b - 0x80] : b;
        out.append(QChar(u));
    }
    return out;
}

QString decodeText(const QByteArray &bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return decodeWindows1252(bytes);
    if (text.startsWith(QChar(0xFEFF)))
        text.remove(0, 1);
    return text;
}

QStringList Split(const QString &text, const QString &delimiter)
{
    if (text.isEmpty())
        return {};
    return text.split(delimiter, Qt::KeepEmptyParts, Qt::CaseSensitive);
}

QString trimBlanks(const QString &text)
{
    qsizetype begin = 0, end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

void FileTable::Open(const QString &path, int fileNumber)
{
    if (files_.count(fileNumber))
        throw errors::fileAlreadyOpen();
    QByteArray bytes;
    const FileProblem problem = readRegularFile(resolvePath(path), filelimits::kText, bytes);
    if (problem != FileProblem::None)
        throw fileProblemError(problem);
    // Item files are small; reading them whole keeps no handle open.
    files_[fileNumber] = OpenFile{decodeText(bytes), 0};
}

const FileTable::OpenFile &FileTable::file(int fileNumber) const
{
    const auto it = files_.find(fileNumber);
    if (it == files_.end())
        throw errors::badFileNumber();
    return it->second;
}

bool FileTable::Eof(int fileNumber) const
{
    const OpenFile &f = file(fileNumber);
    return f.pos >= f.text.size();
}

QString FileTable::LineInput(int fileNumber)
{
    file(fileNumber);
    OpenFile &f = files_[fileNumber];
    if (f.pos >= f.text.size())
        throw errors::inputPastEnd();
    // CR, CRLF or LF: files written on Windows, old Macs and Linux alike.
    const QChar *text = f.text.constData();
    qsizetype end = f.pos;
    while (end < f.text.size() && text[end] != QLatin1Char('\r') && text[end] != QLatin1Char('\n'))
        ++end;
    QString line = f.text.mid(f.pos, end - f.pos);
    f.pos = end + 1;
    if (end < f.text.size() && text[end] == QLatin1Char('\r') && f.pos < f.text.size()
        && text[f.pos] == QLatin1Char('\n'))
        ++f.pos;
    return line;
}

void FileTable::Close(int fileNumber)
{
    files_.erase(fileNumber);
}

StdPicture LoadPicture(const QString &path)
{
    QByteArray bytes;
    const FileProblem problem = readRegularFile(resolvePath(path), filelimits::kPicture, bytes);
    if (problem != FileProblem::None)
        throw fileProblemError(problem);
    return decodePicture(bytes);
}

QByteArray pictureFormat(const QByteArray &bytes)
{
    static const struct {
        const char *magic;
        int length;
        const char *format;
    } known[] = {
        {"\xff\xd8\xff", 3, "jpeg"}, {"\x89PNG\r\n\x1a\n", 8, "png"}, {"GIF8", 4, "gif"}, {"BM", 2, "bmp"},
        {"\0\0\2\0", 4, "cur"},      {"\0\0\1\0", 4, "ico"},
    };
    for (const auto &k : known)
        if (bytes.startsWith(QByteArrayView(k.magic, k.length)))
            return k.format;
    return {};
}

StdPicture decodePicture(const QByteArray &bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // The usual kinds are told by their first bytes: asking every image
    // plugin whether it can read the file would load them all.
    const QByteArray format = pictureFormat(bytes);
    QImageReader reader(&buffer, format);
    if (format.isEmpty())
        reader.setDecideFormatFromContent(true);
    // A small file may claim a huge picture; refuse it before decoding.
    const QSize size = reader.size();
    if (size.width() > filelimits::kPictureSide || size.height() > filelimits::kPictureSide)
        throw errors::invalidPicture();
    StdPicture picture;
    picture.image = reader.read();
    if (picture.image.isNull() || picture.image.width() > filelimits::kPictureSide
        || picture.image.height() > filelimits::kPictureSide)
        throw errors::invalidPicture();
    // Qt does not report a cursor's hotspot; the file header has it.
    const QByteArray head = bytes.left(14);
    if (head.size() >= 14 && head[0] == 0 && head[1] == 0 && head[2] == 2 && head[3] == 0) {
        auto u16 = [&](int at) {
            return int(static_cast<unsigned char>(head[at]) | static_cast<unsigned char>(head[at + 1]) << 8);
        };
        // A hotspot outside the picture would make no pointer at all.
        picture.hotspot = QPoint(qMin(u16(10), picture.image.width() - 1), qMin(u16(12), picture.image.height() - 1));
    }
    return picture;
}
