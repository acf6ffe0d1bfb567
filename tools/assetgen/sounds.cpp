#include "sounds.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "random.h"

namespace {

const double twoPi = 2.0 * M_PI;

void normalise(std::vector<float>& s, float peak) {
    float m = 0;
    for (float v : s) m = std::max(m, std::fabs(v));
    if (m > 0)
        for (float& v : s) v *= peak / m;
}

// One-pole low-pass run twice round a loop: the second pass starts from the state the
// first one ended in, so the filtered noise joins itself without a click.
std::vector<float> loopedLowPass(const std::vector<float>& in, float cutoffHz) {
    const float a = 1.0f - static_cast<float>(std::exp(-twoPi * cutoffHz / sampleRate));
    std::vector<float> out(in.size());
    float y = 0;
    for (int pass = 0; pass < 2; ++pass)
        for (size_t i = 0; i < in.size(); ++i) {
            y += a * (in[i] - y);
            out[i] = y;
        }
    return out;
}

std::vector<float> noise(size_t n, uint64_t seed) {
    Random r(seed);
    std::vector<float> s(n);
    for (float& v : s) v = static_cast<float>(r.signedUnit());
    return s;
}

}  // namespace

std::vector<float> recognizerSound() {
    // 55 Hz saw-like tone whose brightness swells twice a second: 165 cycles and 6 swells in
    // the 3 s loop, so every part ends where it began.
    const int n = 3 * sampleRate;
    const double f0 = 55.0, swell = 2.0;
    std::vector<float> s(static_cast<size_t>(n));
    std::vector<float> hiss = loopedLowPass(noise(s.size(), 0x4EC0001), 300.0f);
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / sampleRate;
        double pulse = 0.5 + 0.5 * std::cos(twoPi * swell * t);
        pulse = pulse * pulse;
        double cutoff = 110.0 + 520.0 * pulse;
        double v = 0;
        for (int k = 1; k <= 24; ++k) {
            double fk = f0 * k;
            double amp = (1.0 / k) / (1.0 + std::pow(fk / cutoff, 4.0));
            v += amp * std::sin(twoPi * fk * t + 0.7 * k);
        }
        // A slightly detuned second voice (55 1/3 Hz) beats slowly against the first, and a
        // sub tone at two thirds of it (110 cycles in the loop) gives weight.
        v += 0.35 * std::sin(twoPi * (f0 + 1.0 / 3.0) * t) + 0.25 * std::sin(twoPi * (f0 * 2.0 / 3.0) * t);
        v *= 0.3 + 0.7 * pulse;
        v += 0.5 * hiss[static_cast<size_t>(i)] * (0.2 + 0.8 * pulse);
        s[static_cast<size_t>(i)] = static_cast<float>(v);
    }
    normalise(s, 0.6f);
    return s;
}

std::vector<float> engineSound() {
    // Firing pulses at 84 Hz with a strong low harmonic set, a whine four octaves up and a
    // 12 Hz roughness; all whole-numbered, so one second holds whole periods of each.
    const int n = sampleRate;
    const double f0 = 84.0;
    std::vector<float> s(static_cast<size_t>(n));
    std::vector<float> rumble = loopedLowPass(noise(s.size(), 0xE461E), 900.0f);
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / sampleRate;
        double v = 0;
        for (int k = 1; k <= 40; ++k) {
            double fk = f0 * k;
            // Pulse-train spectrum shaped by a broad body resonance near 400 Hz.
            double body = 1.0 / (1.0 + std::pow((fk - 400.0) / 350.0, 2.0));
            double amp = (0.4 + body) / std::sqrt(static_cast<double>(k));
            v += amp * std::sin(twoPi * fk * t + 1.3 * k * k);
        }
        v *= 0.8 + 0.2 * std::sin(twoPi * 12.0 * t);
        v += 0.12 * std::sin(twoPi * 1344.0 * t) * (0.7 + 0.3 * std::sin(twoPi * 3.0 * t));
        v += 2.0 * rumble[static_cast<size_t>(i)];
        s[static_cast<size_t>(i)] = static_cast<float>(v);
    }
    normalise(s, 0.7f);
    return s;
}

std::vector<float> crashSound() {
    const int n = sampleRate * 11 / 10;
    std::vector<float> s(static_cast<size_t>(n));
    Random r(0xC4A54);
    float lp = 0, lp2 = 0;
    double thumpPhase = 0;
    for (int i = 0; i < n; ++i) {
        double t = static_cast<double>(i) / sampleRate;
        // Noise that starts bright and darkens as it dies away.
        double cutoff = 200.0 + 7000.0 * std::exp(-t * 6.0);
        float a = 1.0f - static_cast<float>(std::exp(-twoPi * cutoff / sampleRate));
        float w = static_cast<float>(r.signedUnit());
        lp += a * (w - lp);
        lp2 += a * (lp - lp2);
        double body = lp2 * std::exp(-t * 3.2);
        // A falling thump under it.
        double f = 35.0 + 90.0 * std::exp(-t * 12.0);
        thumpPhase += twoPi * f / sampleRate;
        double thump = std::sin(thumpPhase) * std::exp(-t * 7.0);
        // Sparse crackle of debris in the first half second.
        double crackle = 0;
        if (r.uniform() < 0.004 * std::exp(-t * 5.0)) crackle = r.signedUnit() * 0.8;
        double attack = std::min(1.0, t / 0.004);
        double tail = std::min(1.0, (n - i) / (0.05 * sampleRate));  // ends in silence
        s[static_cast<size_t>(i)] = static_cast<float>((2.6 * body + 0.8 * thump + crackle) * attack * tail);
    }
    normalise(s, 0.9f);
    return s;
}

bool writeOgg(const std::string& path, const std::vector<float>& samples, int serial, const char* title) {
    FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) {
        std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
        return false;
    }
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, 1, sampleRate, 0.8f) != 0) {
        std::fclose(out);
        vorbis_info_clear(&vi);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_comment_add_tag(&vc, "TITLE", title);
    vorbis_comment_add_tag(&vc, "ALBUM", "Palvex");
    vorbis_dsp_state vd;
    vorbis_block vb;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, serial);

    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    bool ok = true;
    while (ogg_stream_flush(&os, &page)) {
        ok &= std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), out) == static_cast<size_t>(page.header_len);
        ok &= std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), out) == static_cast<size_t>(page.body_len);
    }

    size_t pos = 0;
    bool eos = false;
    while (!eos) {
        const size_t chunk = 1024;
        size_t count = std::min(chunk, samples.size() - pos);
        if (count == 0) {
            vorbis_analysis_wrote(&vd, 0);
        } else {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(count));
            std::memcpy(buffer[0], samples.data() + pos, count * sizeof(float));
            vorbis_analysis_wrote(&vd, static_cast<int>(count));
            pos += count;
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page)) {
                    ok &= std::fwrite(page.header, 1, static_cast<size_t>(page.header_len), out) == static_cast<size_t>(page.header_len);
                    ok &= std::fwrite(page.body, 1, static_cast<size_t>(page.body_len), out) == static_cast<size_t>(page.body_len);
                    if (ogg_page_eos(&page)) eos = true;
                }
            }
        }
    }
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    if (std::fclose(out) != 0) ok = false;
    if (!ok) std::fprintf(stderr, "assetgen: error while writing %s\n", path.c_str());
    return ok;
}
