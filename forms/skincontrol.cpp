#include "skincontrol.h"

#include "files.h"
#include "form.h"
#include "formserror.h"

#include <QFile>
#include <QFileInfo>
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

QVariant StyleSheetSkin::invoke(int dispid, DispatchKind kind, const QVariantList &args)
{
    switch (dispid) {
    case skin::LoadSkin: {
        if (kind != DispatchKind::Method || args.isEmpty())
            throw errors::invalidCall();
        const QString path = ResolvePath(args.at(0).toString());
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly) || QFileInfo(f).isDir())
            throw skinError(QStringLiteral("%1 cannot be read").arg(path));
        if (f.size() > 1 << 20)
            throw skinError(QStringLiteral("%1 is larger than 1 MiB").arg(path));
        const QByteArray bytes = f.readAll();
        const QString problem = problemWith(bytes);
        if (!problem.isEmpty())
            throw skinError(QStringLiteral("%1: %2").arg(path, problem));
        sheet_ = QString::fromUtf8(bytes);
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
