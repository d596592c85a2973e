// SPDX-License-Identifier: MIT
#pragma once
// Named pipes for tests of files that must never make the program wait. A
// watchdog thread opens the pipe for writing after a grace period, so that
// a reader stuck in open() or read() is released and the test fails instead
// of hanging.
#include <QFile>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

class FifoWatchdog {
public:
    explicit FifoWatchdog(const QString &path, std::chrono::seconds grace = std::chrono::seconds(10))
        : path_(QFile::encodeName(path))
    {
        made_ = ::mkfifo(path_.constData(), 0600) == 0;
        thread_ = std::thread([this, grace] {
            std::unique_lock lock(mutex_);
            if (cv_.wait_for(lock, grace, [this] { return done_; }))
                return;
            // Someone waits on the pipe: a writer that leaves at once ends it.
            released_ = true;
            const int fd = ::open(path_.constData(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0)
                ::close(fd);
        });
    }
    ~FifoWatchdog()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        cv_.notify_all();
        thread_.join();
    }
    bool made() const { return made_; }
    // True when a reader had to be released: it waited on the pipe.
    bool released() const { return released_; }

private:
    QByteArray path_;
    bool made_ = false;
    std::atomic<bool> released_{false};
    std::mutex mutex_;
    std::condition_variable cv_;
    bool done_ = false;
    std::thread thread_;
};
