#pragma once
// File operations of the forms runtime: names with either separator, file
// dates, directory listings with attribute masks, sequential line input by
// file number, picture loading.
#include "picture.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>

// Both "\" and "/" separate folders, so "<folder>\items.txt" names a file in
// <folder> whatever separator the appended text uses.
QString ResolvePath(const QString &path);

// The modification date and time; fails with "File not found" for a missing path.
QDateTime FileDateTime(const QString &path);

// Attribute bits of a directory listing.
enum : int { vbNormal = 0, vbHidden = 2, vbSystem = 4, vbDirectory = 16 };

// The file name of path when it matches the attribute mask, else "". With
// vbNormal, hidden files (a leading dot, or listed in the folder's ".hidden"
// file, as desktop file managers do) and folders are not found.
QString Dir(const QString &path, int attributes = vbNormal);

// Text as read from an item file: UTF-8 when the bytes are valid UTF-8 (a
// byte-order mark is dropped), otherwise Windows-1252.
QString DecodeText(const QByteArray &bytes);

// The runtime's Split: an empty text gives no pieces at all.
QStringList Split(const QString &text, const QString &delimiter);

// Removes leading and trailing blanks (U+0020) only.
QString TrimBlanks(const QString &text);

// Sequential text input by file number. A line ends at CR or CRLF; a lone LF
// is part of the line; a last line without terminator is a line.
class FileTable {
public:
    void Open(const QString &path, int fileNumber);
    bool Eof(int fileNumber) const;
    QString LineInput(int fileNumber);
    void Close(int fileNumber);

private:
    struct OpenFile {
        QString text;
        qsizetype pos = 0;
    };
    const OpenFile &file(int fileNumber) const;
    std::map<int, OpenFile> files_;
};

// Loads a picture file (JPEG, PNG, icon, cursor...); fails with "Invalid
// picture" for anything that is not one, "File not found" when missing.
// A cursor file's hotspot is taken from its header.
StdPicture LoadPicture(const QString &path);
