// SPDX-License-Identifier: MIT
#include "sounds.h"

QString soundFile(Sound sound)
{
    switch (sound) {
    case Sound::Correct:
        return QStringLiteral("/sounds/correct.wma");
    case Sound::Wrong:
        return QStringLiteral("/sounds/wrong.wma");
    case Sound::Complete:
        return QStringLiteral("/sounds/complete.wma");
    }
    return QString();
}

QString soundPath(const QString &appPath, Sound sound)
{
    return appPath + soundFile(sound);
}
