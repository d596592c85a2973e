// SPDX-License-Identifier: MIT
#pragma once
// The quiz's sounds and the files they play from, in one place: the program
// decodes these ahead of their first play, the handlers play them.
#include <QString>
#include <array>

enum class Sound { Correct, Wrong, Complete };

inline constexpr std::array<Sound, 3> kSounds = {Sound::Correct, Sound::Wrong, Sound::Complete};

// The text a sound's file is named by: appended to the application folder's
// path as it stands, no separator added or taken away.
QString soundFile(Sound sound);
QString soundPath(const QString &appPath, Sound sound);
