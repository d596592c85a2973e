// SPDX-License-Identifier: MIT
#include "skincontrol.h"

#include "files.h"
#include "form.h"
#include "formserror.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QStringDecoder>

static FormsError skinError(const QString &why)
{
    return FormsError(-2147467259, QStringLiteral("The skin could not be loaded: %1").arg(why));
}

QString StyleSheetSkin::problemWith(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return QStringLiteral("it is not a text file");
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QStringLiteral("it is not UTF-8 text");
    int depth = 0;
    bool inComment = false;
    int rules = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (inComment) {
            if (c == QLatin1Char('*') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('/'))
                inComment = false, ++i;
            continue;
        }
        if (c == QLatin1Char('/') && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('*'))
            inComment = true, ++i;
        else if (c == QLatin1Char('{'))
            ++depth;
        else if (c == QLatin1Char('}') && --depth < 0)
            return QStringLiteral("a \"}\" has no matching \"{\"");
        else if (c == QLatin1Char('}') && depth == 0)
            ++rules;
    }
    if (inComment)
        return QStringLiteral("a comment is not closed");
    if (depth != 0)
        return QStringLiteral("a \"{\" is not closed");
    if (rules == 0)
        return QStringLiteral("it holds no style rules");
    return {};
}

// Checks one picture a skin names: a regular file within the limits, in a
// picture format that refers to no other file. "" when it will do.
static QString pictureProblem(const QString &path)
{
    QByteArray bytes;
    const FileProblem problem = ReadRegularFile(path, filelimits::kPicture, bytes);
    if (problem != FileProblem::None)
        return QStringLiteral("the picture %1 %2").arg(path, DescribeFileProblem(problem, filelimits::kPicture));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    // Vector formats may name further files; raster pictures do not.
    static const QList<QByteArray> raster{"bmp", "cur", "gif", "ico", "jpeg", "jpg", "pbm", "pgm", "png", "ppm"};
    const QByteArray format = QImageReader::imageFormat(&buffer);
    if (!raster.contains(format))
        return QStringLiteral("%1 is not a picture in a format the skin can show").arg(path);
    QImageReader reader(&buffer, format);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > filelimits::kPictureSide || size.height() > filelimits::kPictureSide)
        return QStringLiteral("the picture %1 is larger than %2 pixels a side").arg(path).arg(filelimits::kPictureSide);
    return {};
}

QString StyleSheetSkin::withCheckedPictures(const QString &sheet, const QString &folder, QString *problem)
{
    // Each url(...) outside comments and strings names a picture that Qt
    // opens while it paints. Names are taken as relative to the skin's own
    // folder, written out in full so that Qt opens exactly what was checked,
    // and every picture is checked now: one that is no plain picture file
    // would otherwise stall or flood the window later.
    problem->clear();
    QString out;
    out.reserve(sheet.size());
    const qsizetype n = sheet.size();
    qsizetype i = 0;
    auto fail = [&](const QString &why) {
        *problem = why;
        return QString();
    };
    while (i < n) {
        const QChar c = sheet.at(i);
        if (c == QLatin1Char('/') && i + 1 < n && sheet.at(i + 1) == QLatin1Char('*')) {
            qsizetype end = sheet.indexOf(QStringLiteral("*/"), i + 2);
            end = end < 0 ? n : end + 2;
            out += sheet.mid(i, end - i);
            i = end;
            continue;
        }
        if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            qsizetype end = i + 1;
            while (end < n && sheet.at(end) != c)
                end += sheet.at(end) == QLatin1Char('\\') ? 2 : 1;
            end = qMin(end + 1, n);
            out += sheet.mid(i, end - i);
            i = end;
            continue;
        }
        const bool wordStart = i == 0
                               || !(sheet.at(i - 1).isLetterOrNumber() || sheet.at(i - 1) == QLatin1Char('-')
                                    || sheet.at(i - 1) == QLatin1Char('_'));
        if (!wordStart || !QStringView(sheet).mid(i, 4).startsWith(QLatin1String("url("), Qt::CaseInsensitive)) {
            out += c;
            ++i;
            continue;
        }
        qsizetype at = i + 4;
        while (at < n && sheet.at(at).isSpace())
            ++at;
        QString name;
        if (at < n && (sheet.at(at) == QLatin1Char('"') || sheet.at(at) == QLatin1Char('\''))) {
            const qsizetype close = sheet.indexOf(sheet.at(at), at + 1);
            if (close < 0)
                return fail(QStringLiteral("a url( is not closed"));
            name = sheet.mid(at + 1, close - at - 1);
            at = close + 1;
        } else {
            const qsizetype start = at;
            while (at < n && sheet.at(at) != QLatin1Char(')') && !sheet.at(at).isSpace())
                ++at;
            name = sheet.mid(start, at - start);
        }
        while (at < n && sheet.at(at).isSpace())
            ++at;
        if (at >= n || sheet.at(at) != QLatin1Char(')'))
            return fail(QStringLiteral("a url( is not closed"));
        ++at;
        // Every name is written back in double quotes, built-in ones too: a
        // quote or backslash in it would let Qt read a different name.
        for (const QChar ch : name)
            if (ch == QLatin1Char('\\') || ch == QLatin1Char('"') || ch.category() == QChar::Other_Control)
                return fail(
                    QStringLiteral("the picture name \"%1\" is not a plain path; write folders with /").arg(name));
        QString path = name;
        if (!name.isEmpty() && !name.startsWith(QLatin1Char(':'))) {  // ":" names a picture built into the program
            path = QDir::cleanPath(QDir(folder).absoluteFilePath(name));
            QString why = pictureProblem(path);
            // High-resolution screens take name@2x.png and the like when present.
            const QFileInfo info(path);
            const QString base = info.path() + QLatin1Char('/') + info.completeBaseName();
            const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
            for (int k = 2; why.isEmpty() && k <= 9; ++k) {
                const QString variant = QStringLiteral("%1@%2x%3").arg(base).arg(k).arg(suffix);
                if (QFileInfo::exists(variant))
                    why = pictureProblem(variant);
            }
            if (!why.isEmpty())
                return fail(why);
        }
        out += QStringLiteral("url(\"%1\")").arg(path);
        i = at;
    }
    return out;
}

QVariant StyleSheetSkin::invoke(int dispid, DispatchKind kind, const QVariantList &args)
{
    switch (dispid) {
    case skin::LoadSkin: {
        if (kind != DispatchKind::Method || args.isEmpty())
            throw errors::invalidCall();
        const QString path = ResolvePath(args.at(0).toString());
        QByteArray bytes;
        const FileProblem unread = ReadRegularFile(path, filelimits::kText, bytes);
        if (unread != FileProblem::None)
            throw skinError(QStringLiteral("%1 %2").arg(path, DescribeFileProblem(unread, filelimits::kText)));
        QString problem = problemWith(bytes);
        if (!problem.isEmpty())
            throw skinError(QStringLiteral("%1: %2").arg(path, problem));
        const QString sheet = withCheckedPictures(QString::fromUtf8(bytes), QFileInfo(path).absolutePath(), &problem);
        if (!problem.isEmpty())
            throw skinError(QStringLiteral("%1: %2").arg(path, problem));
        sheet_ = sheet;
        loaded_ = true;
        return {};
    }
    case skin::Options:
        if (kind == DispatchKind::PropertyGet)
            return options_;
        if (kind != DispatchKind::PropertyPut || args.isEmpty())
            throw errors::invalidCall();
        options_ = args.at(0).toInt();
        return {};
    case skin::ApplyOptions:
    case skin::ApplyFrame: {
        bool &flag = dispid == skin::ApplyOptions ? applyOptions_ : applyFrame_;
        if (kind == DispatchKind::PropertyGet)
            return flag;
        if (kind != DispatchKind::PropertyPut || args.isEmpty())
            throw errors::invalidCall();
        flag = args.at(0).toBool();
        return {};
    }
    case skin::ApplyWindow:
        if (kind != DispatchKind::Method || args.isEmpty())
            throw errors::invalidCall();
        if (args.at(0).toInt() != form_.hWnd)
            throw FormsError(5, QStringLiteral("Invalid window handle"));
        if (!loaded_)
            throw skinError(QStringLiteral("no skin file has been loaded"));
        form_.StyleSheet = sheet_;
        return {};
    default:
        throw FormsError(438, QStringLiteral("Object doesn't support this property or method"));
    }
}
