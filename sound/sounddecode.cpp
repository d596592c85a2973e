// SPDX-License-Identifier: MIT
// orbenvale-decode FILE: decodes one sound file and writes it to standard
// output as raw PCM, signed 16-bit in the machine's byte order, 44100 Hz stereo.
// orbenvale-decode --each FILE...: decodes each file in turn and writes, for
// each, its length in bytes as a 64-bit number in the machine's byte order
// (all ones when it could not be decoded), then the PCM.
//
// The quiz runs this beside itself, once for all the sounds it needs, and
// keeps the result in memory. Decoding in a process of its own keeps FFmpeg's
// many libraries out of the quiz's memory for good, and a damaged file can
// only ever cost this process.
//
// Exit status: 0 with the whole sound (or its first pcm::kMaxSeconds) written
// (with --each: with every file's part written), 1 when the file cannot be
// opened or decoded, 2 on wrong usage.
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include "pcmformat.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

// The quiz hands over only files within its sound limit (filelimits::kSound);
// this cap is the helper's own guard when it is run by hand.
constexpr off_t MaxInputBytes = 32 * 1024 * 1024;
// A file that keeps the decoder busy longer than this is given up.
constexpr rlim_t MaxCpuSeconds = 10;

int fail(const char *path, const char *why)
{
    std::fprintf(stderr, "orbenvale-decode: %s: %s\n", path, why);
    return 1;
}

int readPacket(void *opaque, uint8_t *buf, int size)
{
    const int fd = *static_cast<int *>(opaque);
    for (;;) {
        const ssize_t n = ::read(fd, buf, size_t(size));
        if (n > 0)
            return int(n);
        if (n == 0)
            return AVERROR_EOF;
        if (errno != EINTR)
            return AVERROR(errno);
    }
}

int64_t seekInput(void *opaque, int64_t offset, int whence)
{
    const int fd = *static_cast<int *>(opaque);
    if (whence == AVSEEK_SIZE) {
        struct stat st {};
        return ::fstat(fd, &st) == 0 ? int64_t(st.st_size) : AVERROR(errno);
    }
    const off_t at = ::lseek(fd, off_t(offset), whence & ~AVSEEK_FORCE);
    return at < 0 ? AVERROR(errno) : int64_t(at);
}

// Containers that name other files or addresses (playlists, concat lists)
// get nothing: only the one file given is ever read.
int refuseNestedOpen(AVFormatContext *, AVIOContext **, const char *, int, AVDictionary **)
{
    return AVERROR(EPERM);
}

// Transform codecs start with a frame of encoder delay: a near-silent
// lead-in of some 46 ms before the sound proper. Played as it stands, every
// sound would seem late; the quiet part is dropped, keeping a couple of
// milliseconds before the sound gets audible so no attack is cut.
size_t audibleStart(const std::vector<int16_t> &pcm)
{
    constexpr int audible = 328;  // -40 dBFS
    constexpr size_t keepBefore = pcm::kRate / 500;  // 2 ms
    for (size_t i = 0; i < pcm.size(); ++i) {
        if (pcm[i] > audible || pcm[i] < -audible) {
            const size_t frame = i / pcm::kChannels;
            return (frame > keepBefore ? frame - keepBefore : 0) * pcm::kChannels;
        }
    }
    return 0;  // all quiet: played as it is
}

bool writeAll(const uint8_t *data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, data, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

struct Decoder {
    int fd = -1;
    AVIOContext *io = nullptr;
    AVFormatContext *format = nullptr;
    AVCodecContext *codec = nullptr;
    SwrContext *resampler = nullptr;
    AVPacket *packet = nullptr;
    AVFrame *frame = nullptr;
    std::vector<uint8_t> out;
    std::vector<int16_t> pcm;  // the whole sound, interleaved
    int64_t framesLeft = int64_t(pcm::kMaxSeconds) * pcm::kRate;

    ~Decoder()
    {
        av_frame_free(&frame);
        av_packet_free(&packet);
        swr_free(&resampler);
        avcodec_free_context(&codec);
        avformat_close_input(&format);
        if (io)
            av_freep(&io->buffer);
        avio_context_free(&io);
        if (fd >= 0)
            ::close(fd);
    }

    // Converts and writes what the resampler gives for in (null: its tail).
    bool emit(const AVFrame *in)
    {
        const int inSamples = in ? in->nb_samples : 0;
        const int room = swr_get_out_samples(resampler, inSamples);
        if (room < 0)
            return false;
        out.resize(size_t(room) * pcm::kChannels * 2);
        uint8_t *planes[1] = {out.data()};
        const int got = swr_convert(resampler, planes, room,
                                    in ? const_cast<const uint8_t **>(in->extended_data) : nullptr, inSamples);
        if (got < 0)
            return false;
        const int64_t keep = std::min<int64_t>(got, framesLeft);
        framesLeft -= keep;
        const auto *samples = reinterpret_cast<const int16_t *>(out.data());
        pcm.insert(pcm.end(), samples, samples + keep * pcm::kChannels);
        return true;
    }

    // Sends everything the decoder has ready to the output.
    int drain()
    {
        for (;;) {
            const int r = avcodec_receive_frame(codec, frame);
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return 0;
            if (r < 0)
                return r;
            const bool ok = emit(frame);
            av_frame_unref(frame);
            if (!ok)
                return AVERROR(EIO);
            if (framesLeft <= 0)
                return AVERROR_EOF;
        }
    }
};

// The sound from its audible start, moved out of the decoder.
int finish(const char *path, std::vector<int16_t> &pcm, std::vector<int16_t> &sound)
{
    if (pcm.empty())
        return fail(path, "no sound in the file");
    pcm.erase(pcm.begin(), pcm.begin() + long(audibleStart(pcm)));
    sound.swap(pcm);
    return 0;
}

// Opens the file for reading: only a regular file of a sensible size, read
// through our own descriptor. Returns null, or why not.
const char *openInput(Decoder &d, const char *path)
{
    // Non-blocking, so that a named pipe or a device cannot hold us up in
    // open(); only a regular file of a sensible size goes further.
    d.fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (d.fd < 0)
        return std::strerror(errno);
    struct stat st {};
    if (::fstat(d.fd, &st) != 0 || !S_ISREG(st.st_mode))
        return "not a regular file";
    if (st.st_size > MaxInputBytes)
        return "too large for a sound effect";
    if (st.st_size == 0)
        return "empty";
    ::fcntl(d.fd, F_SETFL, ::fcntl(d.fd, F_GETFL) & ~O_NONBLOCK);

    constexpr int ioBufferSize = 32 * 1024;
    auto *ioBuffer = static_cast<uint8_t *>(av_malloc(ioBufferSize));
    d.io = ioBuffer ? avio_alloc_context(ioBuffer, ioBufferSize, 0, &d.fd, readPacket, nullptr, seekInput) : nullptr;
    d.format = avformat_alloc_context();
    if (!d.io || !d.format) {
        if (!d.io)
            av_free(ioBuffer);
        return "out of memory";
    }
    d.format->pb = d.io;
    d.format->flags |= AVFMT_FLAG_CUSTOM_IO;
    d.format->io_open = refuseNestedOpen;
    if (avformat_open_input(&d.format, nullptr, nullptr, nullptr) < 0)
        return "not a sound file";
    if (avformat_find_stream_info(d.format, nullptr) < 0)
        return "unreadable sound file";
    return nullptr;
}

// Finds the sound in the file and readies its decoder and the conversion to
// our format. Returns null, or why not.
const char *openDecoder(Decoder &d, int &stream)
{
    const AVCodec *codec = nullptr;
    stream = av_find_best_stream(d.format, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream < 0 || !codec)
        return "no sound in the file";
    d.codec = avcodec_alloc_context3(codec);
    // Every decoded sample is kept, as other players keep them: libavcodec's
    // WMA decoder would otherwise drop two whole frames at the start, the
    // second of which is already the first 46 ms of the sound.
    if (d.codec)
        d.codec->flags2 |= AV_CODEC_FLAG2_SKIP_MANUAL;
    if (!d.codec || avcodec_parameters_to_context(d.codec, d.format->streams[stream]->codecpar) < 0
        || avcodec_open2(d.codec, codec, nullptr) < 0)
        return "no decoder for this sound";
    if (d.codec->sample_rate <= 0 || d.codec->ch_layout.nb_channels <= 0)
        return "no sound format";

    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (d.codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&d.codec->ch_layout, d.codec->ch_layout.nb_channels);
    if (swr_alloc_set_opts2(&d.resampler, &stereo, AV_SAMPLE_FMT_S16, pcm::kRate, &d.codec->ch_layout,
                            d.codec->sample_fmt, d.codec->sample_rate, 0, nullptr)
            < 0
        || swr_init(d.resampler) < 0)
        return "cannot convert this sound";
    d.packet = av_packet_alloc();
    d.frame = av_frame_alloc();
    if (!d.packet || !d.frame)
        return "out of memory";
    return nullptr;
}

int decode(const char *path, std::vector<int16_t> &sound)
{
    Decoder d;
    int stream = -1;
    if (const char *why = openInput(d, path))
        return fail(path, why);
    if (const char *why = openDecoder(d, stream))
        return fail(path, why);
    int r = 0;
    while (r >= 0 && av_read_frame(d.format, d.packet) >= 0) {
        if (d.packet->stream_index == stream) {
            r = avcodec_send_packet(d.codec, d.packet);
            // A damaged packet is skipped, as players do; the rest still plays.
            if (r == AVERROR_INVALIDDATA)
                r = 0;
            if (r >= 0)
                r = d.drain();
        }
        av_packet_unref(d.packet);
    }
    if (r == AVERROR_EOF)
        return finish(path, d.pcm, sound);  // cut at pcm::kMaxSeconds
    if (r < 0 && r != AVERROR_INVALIDDATA)
        return fail(path, "decoding failed");
    avcodec_send_packet(d.codec, nullptr);
    if (d.drain() < 0 && d.framesLeft > 0)
        return fail(path, "decoding failed");
    if (d.framesLeft > 0 && !d.emit(nullptr))
        return fail(path, "converting failed");
    return finish(path, d.pcm, sound);
}

bool writeSound(const std::vector<int16_t> &sound)
{
    return writeAll(reinterpret_cast<const uint8_t *>(sound.data()), sound.size() * sizeof(int16_t));
}

}  // namespace

int main(int argc, char **argv)
{
    const bool each = argc >= 2 && std::strcmp(argv[1], "--each") == 0;
    if (!each && argc != 2) {
        std::fputs("usage: orbenvale-decode FILE | --each FILE...  (writes 16-bit 44100 Hz stereo PCM to standard "
                   "output)\n",
                   stderr);
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);  // a reader that goes away ends us through write()
    const rlimit cpu{MaxCpuSeconds, MaxCpuSeconds + 1};
    ::setrlimit(RLIMIT_CPU, &cpu);
    av_log_set_level(AV_LOG_QUIET);
    std::vector<int16_t> sound;
    if (!each) {
        const int status = decode(argv[1], sound);
        if (status == 0 && !writeSound(sound))
            return fail(argv[1], "writing failed");
        return status;
    }
    for (int i = 2; i < argc; ++i) {
        sound.clear();
        const bool ok = decode(argv[i], sound) == 0;
        const uint64_t length = ok ? uint64_t(sound.size() * sizeof(int16_t)) : ~uint64_t(0);
        if (!writeAll(reinterpret_cast<const uint8_t *>(&length), sizeof length) || (ok && !writeSound(sound)))
            return fail(argv[i], "writing failed");
    }
    return 0;
}
