// SPDX-License-Identifier: MIT
#pragma once
// What the media-player control needs from a sound engine: start playing a
// file at once, replacing whatever sound is in progress, without blocking.
#include <QString>

class MediaBackend {
public:
    virtual ~MediaBackend() = default;
    // path is an already resolved local file path. A missing or unplayable
    // file, or a machine without sound output, must fail silently.
    virtual void play(const QString &path) = 0;
};
