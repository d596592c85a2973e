// SPDX-License-Identifier: MIT
#include "pulseoutput.h"

#include <pulse/simple.h>

#include <dlfcn.h>

namespace {

struct PulseSimple {
    decltype(&pa_simple_new) create = nullptr;
    decltype(&pa_simple_write) write = nullptr;
    decltype(&pa_simple_flush) flush = nullptr;
    decltype(&pa_simple_free) free = nullptr;

    // Loaded once and kept: the library cannot be unloaded safely while its
    // threads may still run.
    static const PulseSimple *get()
    {
        static const PulseSimple api = [] {
            PulseSimple a;
            void *lib = ::dlopen("libpulse-simple.so.0", RTLD_NOW | RTLD_LOCAL);
            if (!lib)
                return a;
            a.create = reinterpret_cast<decltype(a.create)>(::dlsym(lib, "pa_simple_new"));
            a.write = reinterpret_cast<decltype(a.write)>(::dlsym(lib, "pa_simple_write"));
            a.flush = reinterpret_cast<decltype(a.flush)>(::dlsym(lib, "pa_simple_flush"));
            a.free = reinterpret_cast<decltype(a.free)>(::dlsym(lib, "pa_simple_free"));
            return a;
        }();
        return api.create && api.write && api.flush && api.free ? &api : nullptr;
    }
};

}  // namespace

PulseOutput::~PulseOutput()
{
    close();
}

bool PulseOutput::open()
{
    if (stream_)
        return true;
    const PulseSimple *pa = PulseSimple::get();
    if (!pa)
        return false;
    pa_sample_spec spec{};
    spec.format = PA_SAMPLE_S16NE;
    spec.rate = Rate;
    spec.channels = Channels;
    const uint32_t bytesPerMs = Rate * Channels * sizeof(int16_t) / 1000;
    pa_buffer_attr attr{};
    attr.maxlength = uint32_t(-1);
    attr.tlength = TargetLatencyMs * bytesPerMs;
    attr.prebuf = 10 * bytesPerMs;  // start playing once one chunk is there
    attr.minreq = uint32_t(-1);
    attr.fragsize = uint32_t(-1);
    int error = 0;
    stream_ = pa->create(nullptr, "Orbenvale Tessary Plunor", PA_STREAM_PLAYBACK, nullptr, "Sound effects", &spec,
                         nullptr, &attr, &error);
    return stream_ != nullptr;
}

bool PulseOutput::write(const int16_t *samples, size_t frames)
{
    int error = 0;
    return stream_ && PulseSimple::get()->write(stream_, samples, frames * Channels * sizeof(int16_t), &error) == 0;
}

void PulseOutput::flush()
{
    int error = 0;
    if (stream_)
        PulseSimple::get()->flush(stream_, &error);
}

void PulseOutput::close()
{
    if (stream_) {
        PulseSimple::get()->free(stream_);
        stream_ = nullptr;
    }
}
