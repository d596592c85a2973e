#include "files.h"

#include "formserror.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QStringDecoder>

QString ResolvePath(const QString &path)
{
    QString p = path;
    p.replace(QLatin1Char('\\'), QLatin1Char('/'));
    return p;
}

QDateTime FileDateTime(const QString &path)
{
    const QFileInfo info(ResolvePath(path));
    if (path.isEmpty() || !info.exists())
        throw errors::fileNotFound();
    return info.lastModified();
}

static bool isHidden(const QFileInfo &info)
{
    if (info.fileName().startsWith(QLatin1Char('.')))
        return true;
    QFile listing(info.absolutePath() + QStringLiteral("/.hidden"));
    if (!listing.open(QIODevice::ReadOnly))
        return false;
    const QList<QByteArray> names = listing.readAll().split('\n');
    const QByteArray name = info.fileName().toUtf8();
    for (const QByteArray &n : names)
        if (n.trimmed() == name)
            return true;
    return false;
}

QString Dir(const QString &path, int attributes)
{
    const QFileInfo info(ResolvePath(path));
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
    static const char16_t high[32] = {
        0x20AC, 0, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
        0x2039, 0x0152, 0, 0x017D, 0, 0, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
        0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0, 0x017E, 0x0178};
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        const char16_t u = (b >= 0x80 && b < 0xA0 && high[b - 0x80]) ? high[b - 0x80] : b;
        out.append(QChar(u));
    }
    return out;
}

QString DecodeText(const QByteArray &bytes)
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

QString TrimBlanks(const QString &text)
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
    QFile f(ResolvePath(path));
    if (path.isEmpty() || !f.exists())
        throw errors::fileNotFound();
    if (QFileInfo(f).isDir() || !f.open(QIODevice::ReadOnly))
        throw errors::pathAccess();
    // Item files are small; reading them whole keeps no handle open.
    files_[fileNumber] = OpenFile{DecodeText(f.readAll()), 0};
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
    qsizetype cr = f.text.indexOf(QLatin1Char('\r'), f.pos);
    if (cr < 0)
        cr = f.text.size();
    QString line = f.text.mid(f.pos, cr - f.pos);
    f.pos = cr + 1;
    if (f.pos < f.text.size() && f.text.at(f.pos) == QLatin1Char('\n'))
        ++f.pos;
    return line;
}

void FileTable::Close(int fileNumber)
{
    files_.erase(fileNumber);
}

StdPicture LoadPicture(const QString &path)
{
    const QString resolved = ResolvePath(path);
    QFile f(resolved);
    if (path.isEmpty() || !f.exists())
        throw errors::fileNotFound();
    if (!f.open(QIODevice::ReadOnly))
        throw errors::pathAccess();
    const QByteArray head = f.peek(14);
    QImageReader reader(&f);
    reader.setDecideFormatFromContent(true);
    StdPicture picture;
    picture.image = reader.read();
    if (picture.image.isNull())
        throw errors::invalidPicture();
    // Qt does not report a cursor's hotspot; the file header has it.
    if (head.size() >= 14 && head[0] == 0 && head[1] == 0 && head[2] == 2 && head[3] == 0) {
        auto u16 = [&](int at) {
            return int(static_cast<unsigned char>(head[at]) | static_cast<unsigned char>(head[at + 1]) << 8);
        };
        picture.hotspot = QPoint(u16(10), u16(12));
    }
    return picture;
}
