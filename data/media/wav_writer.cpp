#include "data/media/wav_writer.h"

#include <cmath>
#include <cstdio>

namespace kelvo::wav {

namespace {

void put_u32(std::vector<std::uint8_t>& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

void put_u16(std::vector<std::uint8_t>& out, std::uint32_t v) {
  out.push_back(static_cast<std::uint8_t>(v));
  out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void put_tag(std::vector<std::uint8_t>& out, const char* tag) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(tag[i]));
}

}  // namespace

std::vector<std::int16_t> to_pcm16(const std::vector<float>& samples) {
  std::vector<std::int16_t> out;
  out.reserve(samples.size());
  for (float s : samples) {
    float v = std::isfinite(s) ? s : 0.0f;
    v = std::fmax(-1.0f, std::fmin(1.0f, v));
    out.push_back(static_cast<std::int16_t>(std::lround(v * 32767.0f)));
  }
  return out;
}

std::vector<std::uint8_t> wav_bytes(const std::vector<std::int16_t>& samples, int sample_rate, int channels) {
  const auto data_size = static_cast<std::uint32_t>(samples.size() * 2);
  const auto block_align = static_cast<std::uint32_t>(channels * 2);
  std::vector<std::uint8_t> out;
  out.reserve(44 + data_size);
  put_tag(out, "RIFF");
  put_u32(out, 36 + data_size);
  put_tag(out, "WAVE");
  put_tag(out, "fmt ");
  put_u32(out, 16);
  put_u16(out, 1);  // PCM
  put_u16(out, static_cast<std::uint32_t>(channels));
  put_u32(out, static_cast<std::uint32_t>(sample_rate));
  put_u32(out, static_cast<std::uint32_t>(sample_rate) * block_align);
  put_u16(out, block_align);
  put_u16(out, 16);
  put_tag(out, "data");
  put_u32(out, data_size);
  for (std::int16_t s : samples) put_u16(out, static_cast<std::uint16_t>(s));
  return out;
}

bool write_wav(const std::string& path, const std::vector<std::int16_t>& samples, int sample_rate, int channels) {
  if (sample_rate <= 0 || channels <= 0 || samples.size() % static_cast<std::size_t>(channels) != 0) return false;
  const std::vector<std::uint8_t> data = wav_bytes(samples, sample_rate, channels);
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool written = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && written;
}

}  // namespace kelvo::wav
