#include "video/video.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswscale/swscale.h>
}

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <unordered_map>
#include <utility>
#include <vector>

struct video_encoder_type {
    AVFormatContext* format = nullptr;
    AVCodecContext* codec = nullptr;
    AVStream* stream = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;            // odd sizes only: stretches to the coded size while converting
    std::vector<std::uint32_t> palette;      // the GIF's 256 colours
    std::unordered_map<std::uint32_t, std::uint8_t> nearest;   // colour -> palette index, filled as colours appear
    std::int64_t whole_bytes = 0;            // the file's length after the last frame written whole

    ~video_encoder_type()
    {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&codec);
        if (format != nullptr && format->pb != nullptr) avio_closep(&format->pb);
        avformat_free_context(format);
    }
};

video_type::video_type() = default;
video_type::~video_type() { video_close(*this); }
video_type::video_type(video_type&&) noexcept = default;
video_type& video_type::operator=(video_type&& other) noexcept
{
    if (this != &other) {
        video_close(*this);
        path = std::move(other.path);
        width = other.width;
        height = other.height;
        fps = other.fps;
        frames = other.frames;
        error = std::move(other.error);
        encoder = std::move(other.encoder);
    }
    return *this;
}

namespace {

std::string av_reason(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return text;
}

// The first frame's colours, most common first, then a colour cube for those
// that come later: the world view draws in few flat colours.
std::vector<std::uint32_t> palette_of(const std::uint32_t* pixels, int width, int height, int bytes_per_line)
{
    std::unordered_map<std::uint32_t, std::uint64_t> counts;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(pixels) + y * bytes_per_line);
        for (int x = 0; x < width; ++x) ++counts[row[x] & 0xffffffu];
    }
    std::vector<std::pair<std::uint64_t, std::uint32_t>> common;
    for (const auto& [colour, count] : counts) common.emplace_back(count, colour);
    std::sort(common.begin(), common.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<std::uint32_t> palette;
    for (std::size_t k = 0; k < common.size() && palette.size() < 256 - 216; ++k) palette.push_back(common[k].second);
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) palette.push_back(static_cast<std::uint32_t>(r * 51 << 16 | g * 51 << 8 | b * 51));
    for (std::size_t k = 256 - 216; k < common.size() && palette.size() < 256; ++k) palette.push_back(common[k].second);
    while (palette.size() < 256) palette.push_back(0);
    return palette;
}

std::uint8_t nearest_index(const std::vector<std::uint32_t>& palette, std::uint32_t colour)
{
    const auto part = [](std::uint32_t c, int shift) { return static_cast<int>(c >> shift & 0xff); };
    std::uint8_t best = 0;
    int best_distance = 1 << 30;
    for (std::size_t k = 0; k < palette.size(); ++k) {
        const int dr = part(palette[k], 16) - part(colour, 16);
        const int dg = part(palette[k], 8) - part(colour, 8);
        const int db = part(palette[k], 0) - part(colour, 0);
        const int distance = 2 * dr * dr + 4 * dg * dg + db * db;
        if (distance < best_distance) {
            best_distance = distance;
            best = static_cast<std::uint8_t>(k);
        }
    }
    return best;
}

void fill_palette_frame(video_encoder_type& encoder, const std::uint32_t* pixels, int width, int height, int bytes_per_line)
{
    if (encoder.palette.empty()) encoder.palette = palette_of(pixels, width, height, bytes_per_line);
    std::uint32_t last_colour = 0xffffffffu;
    std::uint8_t last_index = 0;
    for (int y = 0; y < height; ++y) {
        const auto* row = reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(pixels) + y * bytes_per_line);
        std::uint8_t* out = encoder.frame->data[0] + y * encoder.frame->linesize[0];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t colour = row[x] & 0xffffffu;
            if (colour != last_colour) {
                last_colour = colour;
                const auto found = encoder.nearest.find(colour);
                last_index = found != encoder.nearest.end() ? found->second
                                                            : encoder.nearest.emplace(colour, nearest_index(encoder.palette, colour)).first->second;
            }
            out[x] = last_index;
        }
    }
    auto* palette = reinterpret_cast<std::uint32_t*>(encoder.frame->data[1]);
    for (int k = 0; k < 256; ++k) palette[k] = 0xff000000u | encoder.palette[static_cast<std::size_t>(k)];
}

// 4:2:0 colour of studio range (BT.601), each chroma sample the mean of its
// two by two pixels. This library's converter has no fast path for 32-bit
// pixels and took a third of a recording's time.
__attribute__((target_clones("avx2", "default"))) void fill_yuv_frame(AVFrame& frame, const std::uint32_t* pixels, int width, int height, int bytes_per_line)
{
    const auto row_of = [&](int y) {
        return reinterpret_cast<const std::uint32_t*>(reinterpret_cast<const std::uint8_t*>(pixels) + y * bytes_per_line);
    };
    // Plain loops over plain arrays, which the compiler turns into vector code.
    for (int y = 0; y < height; ++y) {
        const std::uint32_t* row = row_of(y);
        std::uint8_t* luma = frame.data[0] + y * frame.linesize[0];
        for (int x = 0; x < width; ++x) {
            const std::uint32_t p = row[x];
            luma[x] = static_cast<std::uint8_t>(((66 * (p >> 16 & 0xff) + 129 * (p >> 8 & 0xff) + 25 * (p & 0xff) + 128) >> 8) + 16);
        }
    }
    for (int y = 0; y < height; y += 2) {
        const std::uint32_t* upper = row_of(y);
        const std::uint32_t* lower = row_of(y + 1);
        std::uint8_t* blue = frame.data[1] + y / 2 * frame.linesize[1];
        std::uint8_t* red = frame.data[2] + y / 2 * frame.linesize[2];
        for (int x = 0; x < width / 2; ++x) {
            const std::uint32_t a = upper[2 * x], b = upper[2 * x + 1], c = lower[2 * x], d = lower[2 * x + 1];
            const int r = static_cast<int>((a >> 16 & 0xff) + (b >> 16 & 0xff) + (c >> 16 & 0xff) + (d >> 16 & 0xff));
            const int g = static_cast<int>((a >> 8 & 0xff) + (b >> 8 & 0xff) + (c >> 8 & 0xff) + (d >> 8 & 0xff));
            const int bl = static_cast<int>((a & 0xff) + (b & 0xff) + (c & 0xff) + (d & 0xff));
            blue[x] = static_cast<std::uint8_t>(((-38 * r - 74 * g + 112 * bl + 512) >> 10) + 128);
            red[x] = static_cast<std::uint8_t>(((112 * r - 94 * g - 18 * bl + 512) >> 10) + 128);
        }
    }
}

// Hands the frame (or, with null, the end) to the codec and writes what it gives back.
bool encode(video_type& video, AVFrame* frame)
{
    video_encoder_type& encoder = *video.encoder;
    int status = avcodec_send_frame(encoder.codec, frame);
    while (status >= 0) {
        status = avcodec_receive_packet(encoder.codec, encoder.packet);
        if (status == AVERROR(EAGAIN) || status == AVERROR_EOF) return true;
        if (status < 0) break;
        av_packet_rescale_ts(encoder.packet, encoder.codec->time_base, encoder.stream->time_base);
        encoder.packet->stream_index = encoder.stream->index;
        status = av_interleaved_write_frame(encoder.format, encoder.packet);
        if (status >= 0) {
            avio_flush(encoder.format->pb);
            status = encoder.format->pb->error;
        }
        if (status >= 0) encoder.whole_bytes = avio_tell(encoder.format->pb);
    }
    video.error = av_reason(status);
    return false;
}

// What is left of a file whose writing failed: cut back to its last whole
// frame, which plays, as each frame is a fragment of the container.
void abandon(video_type& video)
{
    if (video.encoder == nullptr) return;
    const std::int64_t whole_bytes = video.encoder->whole_bytes;
    video.encoder.reset();
    if (whole_bytes > 0 && truncate(video.path.c_str(), whole_bytes) != 0) video.error += " (and the file could not be cut back to its last whole frame)";
}

}  // namespace

bool video_is_open(const video_type& video) { return video.encoder != nullptr; }

video_type video_open(const std::string& path, int width, int height, int fps)
{
    video_type video;
    video.path = path;
    video.fps = fps;
    const video_kind_type kind = video_kind_of(path);
    if (kind == video_kind_type::none) {
        video.error = "the name " + video_format_problem(path);
        return video;
    }
    // 4:2:0 colour needs even sizes.
    video.width = width;
    video.height = height;
    const int coded_width = kind == video_kind_type::gif ? width : (width + 1) / 2 * 2;
    const int coded_height = kind == video_kind_type::gif ? height : (height + 1) / 2 * 2;
    av_log_set_level(AV_LOG_QUIET);  // our own one-line messages say what went wrong
    auto encoder = std::make_unique<video_encoder_type>();
    const char* const codec_name = kind == video_kind_type::mp4 ? "libx264" : kind == video_kind_type::webm ? "libvpx-vp9" : "gif";
    const AVCodec* codec = avcodec_find_encoder_by_name(codec_name);
    if (codec == nullptr) {
        video.error = std::string("this system's FFmpeg has no ") + codec_name + " encoder";
        return video;
    }
    int status = avformat_alloc_output_context2(&encoder->format, nullptr, nullptr, path.c_str());
    if (status < 0 || encoder->format == nullptr) {
        video.error = av_reason(status);
        return video;
    }
    AVCodecContext* context = encoder->codec = avcodec_alloc_context3(codec);
    context->width = coded_width;
    context->height = coded_height;
    context->time_base = AVRational{1, fps};
    context->framerate = AVRational{fps, 1};
    context->pix_fmt = kind == video_kind_type::gif ? AV_PIX_FMT_PAL8 : AV_PIX_FMT_YUV420P;
    if (kind != video_kind_type::gif) {
        context->color_range = AVCOL_RANGE_MPEG;
        context->colorspace = AVCOL_SPC_SMPTE170M;
    }
    context->gop_size = 2 * fps;  // a keyframe every two seconds
    context->thread_count = 1;    // the simulation keeps the other processors busy
    if (kind == video_kind_type::mp4) {
        av_opt_set(context->priv_data, "preset", "ultrafast", 0);
        av_opt_set(context->priv_data, "crf", "23", 0);
    } else if (kind == video_kind_type::webm) {
        av_opt_set(context->priv_data, "deadline", "realtime", 0);
        av_opt_set(context->priv_data, "cpu-used", "8", 0);
        av_opt_set(context->priv_data, "crf", "32", 0);
        context->bit_rate = 0;
    }
    if (encoder->format->oformat->flags & AVFMT_GLOBALHEADER) context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((status = avcodec_open2(context, codec, nullptr)) < 0) {
        video.error = av_reason(status);
        return video;
    }
    encoder->stream = avformat_new_stream(encoder->format, nullptr);
    encoder->stream->time_base = context->time_base;
    avcodec_parameters_from_context(encoder->stream->codecpar, context);
    if ((status = avio_open(&encoder->format->pb, path.c_str(), AVIO_FLAG_WRITE)) < 0) {
        video.error = av_reason(status);
        return video;
    }
    // A fragment a frame instead of one index at the end, so that a run that
    // is killed or a disk that fills leaves a file that plays to its last frame.
    AVDictionary* muxer_options = nullptr;
    if (kind == video_kind_type::mp4) av_dict_set(&muxer_options, "movflags", "frag_every_frame+empty_moov+default_base_moof", 0);
    status = avformat_write_header(encoder->format, &muxer_options);
    av_dict_free(&muxer_options);
    if (status >= 0) {
        avio_flush(encoder->format->pb);
        status = encoder->format->pb->error;
    }
    if (status < 0) {
        video.error = av_reason(status);
        return video;
    }
    encoder->whole_bytes = avio_tell(encoder->format->pb);
    encoder->frame = av_frame_alloc();
    encoder->frame->format = context->pix_fmt;
    encoder->frame->width = coded_width;
    encoder->frame->height = coded_height;
    encoder->packet = av_packet_alloc();
    if (av_frame_get_buffer(encoder->frame, 0) < 0) {
        video.error = "out of memory";
        return video;
    }
    if (kind != video_kind_type::gif && (coded_width != width || coded_height != height))
        encoder->scaler = sws_getContext(width, height, AV_PIX_FMT_RGB32, coded_width, coded_height, AV_PIX_FMT_YUV420P,
                                         SWS_BICUBIC, nullptr, nullptr, nullptr);
    video.encoder = std::move(encoder);
    return video;
}

bool video_add_frame(video_type& video, const std::uint32_t* pixels, int bytes_per_line)
{
    if (video.encoder == nullptr) return false;
    video_encoder_type& encoder = *video.encoder;
    if (av_frame_make_writable(encoder.frame) < 0) {
        video.error = "out of memory";
        abandon(video);
        return false;
    }
    if (encoder.scaler != nullptr) {
        const std::uint8_t* planes[1] = {reinterpret_cast<const std::uint8_t*>(pixels)};
        const int strides[1] = {bytes_per_line};
        sws_scale(encoder.scaler, planes, strides, 0, video.height, encoder.frame->data, encoder.frame->linesize);
    } else if (encoder.codec->pix_fmt == AV_PIX_FMT_YUV420P) {
        fill_yuv_frame(*encoder.frame, pixels, video.width, video.height, bytes_per_line);
    } else {
        fill_palette_frame(encoder, pixels, video.width, video.height, bytes_per_line);
    }
    encoder.frame->pts = static_cast<std::int64_t>(video.frames);
    if (!encode(video, encoder.frame)) {
        abandon(video);
        return false;
    }
    ++video.frames;
    return true;
}

bool video_close(video_type& video)
{
    if (video.encoder == nullptr) return video.error.empty();
    bool written = encode(video, nullptr);
    if (written) {
        const int status = av_write_trailer(video.encoder->format);
        if (status < 0) video.error = av_reason(status);
        written = status >= 0;
    }
    if (written) {
        const int status = avio_closep(&video.encoder->format->pb);
        if (status < 0) video.error = av_reason(status);
        written = status >= 0;
    }
    if (!written) abandon(video);
    video.encoder.reset();
    return written;
}
