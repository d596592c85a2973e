// SPDX-License-Identifier: MIT
#pragma once
// The skin component, reached only through numeric dispatch identifiers.
// Ours reads a skin file that is a Qt style sheet and applies it to a window.
#include <QString>
#include <QVariant>
#include <QVariantList>

class Form;

enum class DispatchKind { Method, PropertyGet, PropertyPut };

class SkinDispatch {
public:
    virtual ~SkinDispatch() = default;
    // Throws FormsError when the call fails.
    virtual QVariant invoke(int dispid, DispatchKind kind, const QVariantList &args) = 0;
};

// Dispatch identifiers of the style-sheet skin.
namespace skin {
constexpr int Options = 1;  // property: option bits; bit 1 skins child controls
constexpr int LoadSkin = 2;  // method: (skin file, section)
constexpr int ApplyWindow = 3;  // method: (window handle)
constexpr int ApplyOptions = 5;  // property: restyle controls created later too
constexpr int ApplyFrame = 10;  // property: skin the window's own surface
}  // namespace skin

class StyleSheetSkin : public SkinDispatch {
public:
    explicit StyleSheetSkin(Form &form) : form_(form) {}
    QVariant invoke(int dispid, DispatchKind kind, const QVariantList &args) override;

    // Why a style sheet text is not a usable skin, or "" when it is.
    static QString problemWith(const QByteArray &bytes);
    // The style sheet with every picture it names checked and named in full,
    // relative names taken from folder; on a picture that will not do, sets
    // problem to why and returns "".
    static QString withCheckedPictures(const QString &sheet, const QString &folder, QString *problem);

private:
    Form &form_;
    QString sheet_;
    bool loaded_ = false;
    qint32 options_ = 0;
    bool applyOptions_ = false;
    bool applyFrame_ = false;
};
