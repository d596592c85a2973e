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

namespace {

// A style sheet read as the pieces that matter for a skin: comments and
// strings (opaque), braces, url(...) and plain text between them. Both the
// check of a skin and the rewriting of its pictures read it this one way.
struct SheetPiece {
    enum Kind { Text, Comment, String, Open, Close, Url } kind;
    qsizetype from, to;  // [from, to) of the sheet
    QString name;  // Url: the picture named
    bool closed = true;  // Comment, String, Url: ended before the sheet did
};

// Whether a url( that is not the end of a longer word starts at i.
bool urlAt(const QString &sheet, qsizetype i)
{
    if (!QStringView(sheet).mid(i, 4).startsWith(QLatin1String("url("), Qt::CaseInsensitive))
        return false;
    const QChar before = i > 0 ? sheet.at(i - 1) : QChar();
    return !(before.isLetterOrNumber() || before == QLatin1Char('-') || before == QLatin1Char('_'));
}

// The url(...) starting at i, with the picture it names; one not closed
// runs to the end of the sheet.
SheetPiece urlPiece(const QString &sheet, qsizetype i)
{
    const qsizetype n = sheet.size();
    auto at = [&](qsizetype k) { return k < n ? sheet.at(k) : QChar(); };
    qsizetype j = i + 4;
    while (j < n && sheet.at(j).isSpace())
        ++j;
    QString name;
    if (at(j) == QLatin1Char('"') || at(j) == QLatin1Char('\'')) {
        const qsizetype close = sheet.indexOf(sheet.at(j), j + 1);
        if (close < 0)
            return {SheetPiece::Url, i, n, {}, false};
        name = sheet.mid(j + 1, close - j - 1);
        j = close + 1;
    } else {
        const qsizetype start = j;
        while (j < n && sheet.at(j) != QLatin1Char(')') && !sheet.at(j).isSpace())
            ++j;
        name = sheet.mid(start, j - start);
    }
    while (j < n && sheet.at(j).isSpace())
        ++j;
    const bool closed = at(j) == QLatin1Char(')');
    return {SheetPiece::Url, i, closed ? j + 1 : n, name, closed};
}

// Past the closing quote of the string whose opening quote is at i, or
// past the end of the sheet when it is not closed.
qsizetype quoteEnd(const QString &sheet, qsizetype i)
{
    const qsizetype n = sheet.size();
    const QChar q = sheet.at(i);
    for (++i; i < n && sheet.at(i) != q;)
        i += sheet.at(i) == QLatin1Char('\\') ? 2 : 1;
    return i < n ? i + 1 : n + 1;
}

template <class Each> void scanSheet(const QString &sheet, Each &&each)
{
    const qsizetype n = sheet.size();
    qsizetype text = 0;  // where the plain text in progress began
    auto piece = [&](SheetPiece p) {
        if (text < p.from)
            each(SheetPiece{SheetPiece::Text, text, p.from, {}});
        each(p);
        text = p.to;
    };
    for (qsizetype i = 0; i < n;) {
        const QChar c = sheet.at(i);
        if (c == QLatin1Char('/') && i + 1 < n && sheet.at(i + 1) == QLatin1Char('*')) {
            const qsizetype end = sheet.indexOf(QStringLiteral("*/"), i + 2);
            piece({SheetPiece::Comment, i, end < 0 ? n : end + 2, {}, end >= 0});
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            const qsizetype end = quoteEnd(sheet, i);
            piece({SheetPiece::String, i, qMin(end, n), {}, end <= n});
        } else if (c == QLatin1Char('{') || c == QLatin1Char('}')) {
            piece({c == QLatin1Char('{') ? SheetPiece::Open : SheetPiece::Close, i, i + 1, {}});
        } else if (urlAt(sheet, i)) {
            const SheetPiece url = urlPiece(sheet, i);
            piece(url);
            if (!url.closed)
                break;
        } else {
            ++i;
            continue;
        }
        i = text;
    }
    if (text < n)
        each(SheetPiece{SheetPiece::Text, text, n, {}});
}

}  // namespace

QString StyleSheetSkin::problemWith(const QByteArray &bytes)
{
    if (bytes.contains('\0'))
        return QStringLiteral("it is not a text file");
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8.decode(bytes);
    if (utf8.hasError())
        return QStringLiteral("it is not UTF-8 text");
    int depth = 0, rules = 0;
    QString problem;
    scanSheet(text, [&](const SheetPiece &p) {
        if (!problem.isEmpty())
            return;
        if (!p.closed)
            problem = p.kind == SheetPiece::Comment  ? QStringLiteral("a comment is not closed")
                      : p.kind == SheetPiece::String ? QStringLiteral("a string is not closed")
                                                     : QStringLiteral("a url( is not closed");
        else if (p.kind == SheetPiece::Open)
            ++depth;
        else if (p.kind == SheetPiece::Close && --depth < 0)
            problem = QStringLiteral("a \"}\" has no matching \"{\"");
        else if (p.kind == SheetPiece::Close && depth == 0)
            ++rules;
    });
    if (!problem.isEmpty())
        return problem;
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
    const FileProblem problem = readRegularFile(path, filelimits::kPicture, bytes);
    if (problem != FileProblem::None)
        return QStringLiteral("the picture %1 %2").arg(path, describeFileProblem(problem, filelimits::kPicture));
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

// The path Qt is to open for a picture name, checked, or "" with why set.
static QString checkedPicture(const QString &name, const QString &folder, QString *why)
{
    // Every name is written back in double quotes, built-in ones too: a
    // quote or backslash in it would let Qt read a different name.
    for (const QChar ch : name)
        if (ch == QLatin1Char('\\') || ch == QLatin1Char('"') || ch.category() == QChar::Other_Control) {
            *why = QStringLiteral("the picture name \"%1\" is not a plain path; write folders with /").arg(name);
            return {};
        }
    if (name.isEmpty() || name.startsWith(QLatin1Char(':')))  // ":" names a picture built into the program
        return name;
    const QString path = QDir::cleanPath(QDir(folder).absoluteFilePath(name));
    *why = pictureProblem(path);
    // High-resolution screens take name@2x.png and the like when present.
    const QFileInfo info(path);
    const QString base = info.path() + QLatin1Char('/') + info.completeBaseName();
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    for (int k = 2; why->isEmpty() && k <= 9; ++k) {
        const QString variant = QStringLiteral("%1@%2x%3").arg(base).arg(k).arg(suffix);
        if (QFileInfo::exists(variant))
            *why = pictureProblem(variant);
    }
    return why->isEmpty() ? path : QString();
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
    scanSheet(sheet, [&](const SheetPiece &p) {
        if (!problem->isEmpty())
            return;
        if (p.kind != SheetPiece::Url) {
            out += QStringView(sheet).mid(p.from, p.to - p.from);
            return;
        }
        if (!p.closed) {
            *problem = QStringLiteral("a url( is not closed");
            return;
        }
        const QString path = checkedPicture(p.name, folder, problem);
        if (problem->isEmpty())
            out += QStringLiteral("url(\"%1\")").arg(path);
    });
    return problem->isEmpty() ? out : QString();
}

QVariant StyleSheetSkin::invoke(int dispid, DispatchKind kind, const QVariantList &args)
{
    switch (dispid) {
    case skin::LoadSkin: {
        if (kind != DispatchKind::Method || args.isEmpty())
            throw errors::invalidCall();
        const QString path = resolvePath(args.at(0).toString());
        QByteArray bytes;
        const FileProblem unread = readRegularFile(path, filelimits::kText, bytes);
        if (unread != FileProblem::None)
            throw skinError(QStringLiteral("%1 %2").arg(path, describeFileProblem(unread, filelimits::kText)));
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
