// SPDX-License-Identifier: MIT
#pragma once
// A failure raised by the forms layer: the runtime error number and the
// description the player sees in an error report.
#include <QString>
#include <stdexcept>

class FormsError : public std::runtime_error {
public:
    FormsError(int number, const QString &description)
        : std::runtime_error(description.toStdString()), Number(number), Description(description)
    {
    }
    int Number;
    QString Description;
};

// The runtime's own error numbers and texts, for the failures this layer raises.
namespace errors {
inline FormsError invalidCall()
{
    return {5, QStringLiteral("Invalid procedure call or argument")};
}
inline FormsError overflow()
{
    return {6, QStringLiteral("Overflow")};
}
inline FormsError subscriptOutOfRange()
{
    return {9, QStringLiteral("Subscript out of range")};
}
inline FormsError badFileNumber()
{
    return {52, QStringLiteral("Bad file name or number")};
}
inline FormsError fileNotFound()
{
    return {53, QStringLiteral("File not found")};
}
inline FormsError fileAlreadyOpen()
{
    return {55, QStringLiteral("File already open")};
}
inline FormsError inputPastEnd()
{
    return {62, QStringLiteral("Input past end of file")};
}
inline FormsError pathAccess()
{
    return {75, QStringLiteral("Path/File access error")};
}
inline FormsError noSuchElement(int index)
{
    return {340, QStringLiteral("Control array element '%1' doesn't exist").arg(index)};
}
inline FormsError alreadyLoaded()
{
    return {360, QStringLiteral("Object already loaded")};
}
inline FormsError invalidPicture()
{
    return {481, QStringLiteral("Invalid picture")};
}
}  // namespace errors
