// The encoder is fed in blocks of 1,024 frames; every page it completes is appended to the
// output, and the last ones are flushed at the end of the stream.
#include "mkpatch/vorbis_encoder.h"

#include <vorbis/vorbisenc.h>

namespace mkpatch {

namespace {

const long kBlockFrames = 1024;

void append(std::string& out, const ogg_page& page) {
    out.append(reinterpret_cast<const char*>(page.header), static_cast<size_t>(page.header_len));
    out.append(reinterpret_cast<const char*>(page.body), static_cast<size_t>(page.body_len));
}

}  // namespace

bool encodeVorbis(int channels, long rate, const int16_t* samples, size_t frames, float quality, int serial,
                  std::string& ogg, std::string& error) {
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, rate, quality) != 0) {
        vorbis_info_clear(&info);
        error = "the encoder takes no " + std::to_string(channels) + "-channel sound at " + std::to_string(rate) +
                " Hz";
        return false;
    }
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_block block;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, serial);

    ogg.clear();
    ogg_packet identification, comments, codebooks;
    vorbis_analysis_headerout(&dsp, &comment, &identification, &comments, &codebooks);
    ogg_stream_packetin(&stream, &identification);
    ogg_stream_packetin(&stream, &comments);
    ogg_stream_packetin(&stream, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&stream, &page))
        append(ogg, page);

    for (size_t done = 0;;) {
        long n = static_cast<long>(frames - done < static_cast<size_t>(kBlockFrames) ? frames - done : kBlockFrames);
        if (n > 0) {
            float** buffer = vorbis_analysis_buffer(&dsp, static_cast<int>(n));
            for (long f = 0; f < n; ++f)
                for (int c = 0; c < channels; ++c)
                    buffer[c][f] = samples[(done + static_cast<size_t>(f)) * channels + c] / 32768.0f;
        }
        vorbis_analysis_wrote(&dsp, static_cast<int>(n));  // 0 marks the end of the stream
        done += static_cast<size_t>(n);
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, NULL);
            vorbis_bitrate_addblock(&block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&dsp, &packet)) {
                ogg_stream_packetin(&stream, &packet);
                while (ogg_stream_pageout(&stream, &page))
                    append(ogg, page);
            }
        }
        if (n == 0)
            break;
    }
    while (ogg_stream_flush(&stream, &page))
        append(ogg, page);

    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return true;
}

}  // namespace mkpatch
