// Writes 16-bit PCM WAV files (RIFF WAVE, one "fmt " and one "data" chunk).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::wav {

// Samples -1..1 to 16-bit, rounded; values beyond are clipped.
std::vector<std::int16_t> to_pcm16(const std::vector<float>& samples);

// The whole file for interleaved `samples` with `channels` channels.
std::vector<std::uint8_t> wav_bytes(const std::vector<std::int16_t>& samples, int sample_rate, int channels = 1);

// Writes the file; false when it cannot be written.
bool write_wav(const std::string& path, const std::vector<std::int16_t>& samples, int sample_rate,
               int channels = 1);

}  // namespace kelvo::wav
