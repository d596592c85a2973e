// SPDX-License-Identifier: MIT
#pragma once
// File operations of the forms runtime: names with either separator, file
// dates, directory listings with attribute masks, sequential line input by
// file number, picture loading.
#include "picture.h"

#include "formserror.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <map>

// How much the quiz reads from the files it is given. A file over its limit
// is refused like an unreadable one, so a hostile file cannot exhaust memory.
namespace filelimits {
inline constexpr qint64 kText = 1 << 20;  // item list, skin, a folder's .hidden listing
inline constexpr qint64 kPicture = 4 << 20;  // pointer cursor, each picture a skin names
inline constexpr int kPictureSide = 4096;  // pixels, either side of a decoded picture
inline constexpr qint64 kSound = 16 << 20;  // each sound file
}  // namespace filelimits

// Why a file was not read.
enum class FileProblem { None, Missing, NotAFile, TooLarge, Unreadable };

// Reads a whole file, but only a regular file (never a folder, FIFO, socket
// or device) of at most limit bytes. Nothing here waits on a writer: a FIFO
// is opened without blocking and refused. path is a file-system path.
FileProblem readRegularFile(const QString &path, qint64 limit, QByteArray &bytes);
// Says why a file was not read, for a report: "is not a regular file"...
QString describeFileProblem(FileProblem problem, qint64 limit);
// The runtime's error for it: "File not found" when missing, else
// "Path/File access error", as for any file that cannot be read.
FormsError fileProblemError(FileProblem problem);

// Both "\" and "/" separate folders, so "<folder>\items.txt" names a file in
// <folder> whatever separator the appended text uses.
QString resolvePath(const QString &path);

// The modification date and time; fails with "File not found" for a missing path.
QDateTime FileDateTime(const QString &path);

// Attribute bits of a directory listing.
enum : int { vbNormal = 0, vbHidden = 2, vbDirectory = 16 };

// The file name of path when it matches the attribute mask, else "". With
// vbNormal, hidden files (a leading dot, or listed in the folder's ".hidden"
// file, as desktop file managers do) and folders are not found.
QString Dir(const QString &path, int attributes = vbNormal);

// Text as read from an item file: UTF-8 when the bytes are valid UTF-8 (a
// byte-order mark is dropped), otherwise Windows-1252.
QString decodeText(const QByteArray &bytes);

// The runtime's Split: an empty text gives no pieces at all.
QStringList Split(const QString &text, const QString &delimiter);

// Removes leading and trailing blanks (U+0020) only.
QString trimBlanks(const QString &text);

// Sequential text input by file number. A line ends at CR, CRLF or LF; a
// last line without terminator is a line. Files over filelimits::kText and
// anything but a regular file fail to open.
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
// picture" for anything that is not one or is larger than
// filelimits::kPictureSide a side, "File not found" when missing, "Path/File
// access error" for what cannot be read under the rule of readRegularFile
// with filelimits::kPicture. A cursor file's hotspot is taken from its header.
StdPicture LoadPicture(const QString &path);
// The same from bytes already read.
StdPicture decodePicture(const QByteArray &bytes);
// The picture kind its first bytes tell (jpeg, png, gif, bmp, cur, ico), or
// empty when they tell none of these.
QByteArray pictureFormat(const QByteArray &bytes);
