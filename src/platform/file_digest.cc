#include "platform/file_digest.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <system_error>

#include "platform/utf8.h"

namespace jr {
namespace {

constexpr std::array<uint32_t, 64> kRound = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

uint32_t Rotate(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

void Compress(std::array<uint32_t, 8>& h, const unsigned char* block) {
  std::array<uint32_t, 64> w{};
  for (int i = 0; i < 16; ++i) {
    w[i] = static_cast<uint32_t>(block[4 * i]) << 24 |
           static_cast<uint32_t>(block[4 * i + 1]) << 16 |
           static_cast<uint32_t>(block[4 * i + 2]) << 8 | static_cast<uint32_t>(block[4 * i + 3]);
  }
  for (int i = 16; i < 64; ++i) {
    const uint32_t s0 = Rotate(w[i - 15], 7) ^ Rotate(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const uint32_t s1 = Rotate(w[i - 2], 17) ^ Rotate(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::array<uint32_t, 8> v = h;
  for (int i = 0; i < 64; ++i) {
    const uint32_t s1 = Rotate(v[4], 6) ^ Rotate(v[4], 11) ^ Rotate(v[4], 25);
    const uint32_t choose = (v[4] & v[5]) ^ (~v[4] & v[6]);
    const uint32_t t1 = v[7] + s1 + choose + kRound[i] + w[i];
    const uint32_t s0 = Rotate(v[0], 2) ^ Rotate(v[0], 13) ^ Rotate(v[0], 22);
    const uint32_t majority = (v[0] & v[1]) ^ (v[0] & v[2]) ^ (v[1] & v[2]);
    for (int j = 7; j > 0; --j) v[j] = v[j - 1];
    v[4] += t1;
    v[0] = t1 + s0 + majority;
  }
  for (int i = 0; i < 8; ++i) h[i] += v[i];
}

}  // namespace

void Sha256::Add(std::string_view bytes) {
  size_ += bytes.size();
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t left = bytes.size();
  if (held_ > 0) {
    const size_t taken = std::min(left, block_.size() - held_);
    std::copy_n(data, taken, block_.data() + held_);
    held_ += taken;
    data += taken;
    left -= taken;
    if (held_ < block_.size()) return;
    Compress(state_, block_.data());
    held_ = 0;
  }
  for (; left >= 64; data += 64, left -= 64) Compress(state_, data);
  std::copy_n(data, left, block_.data());
  held_ = left;
}

std::string Sha256::Hex() {
  // The rest, the 0x80 marker and the length in bits fill one or two last blocks.
  const uint64_t bits = size_ * 8;
  std::array<unsigned char, 72> tail{};
  tail[0] = 0x80;
  const size_t padding = held_ < 56 ? 56 - held_ : 120 - held_;
  for (int i = 0; i < 8; ++i) tail[padding + 7 - i] = static_cast<unsigned char>(bits >> (8 * i));
  Add(std::string_view(reinterpret_cast<const char*>(tail.data()), padding + 8));
  std::string hex;
  for (uint32_t word : state_) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", word);
    hex += text;
  }
  return hex;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 digest;
  digest.Add(bytes);
  return digest.Hex();
}

Result<std::string> FileSha256(const std::string& path) {
  std::ifstream in(NativePath(path), std::ios::binary);
  if (!in.is_open()) return Status::Failed("cannot open \"" + path + "\" to take its SHA-256");
  Sha256 digest;
  std::array<char, 1 << 16> piece;
  while (in.read(piece.data(), piece.size()) || in.gcount() > 0) {
    digest.Add(std::string_view(piece.data(), static_cast<size_t>(in.gcount())));
  }
  if (in.bad()) return Status::Failed("cannot read \"" + path + "\" to take its SHA-256");
  return digest.Hex();
}

std::string AbsoluteFileName(const std::string& path) {
  std::error_code ec;
  const std::filesystem::path absolute = std::filesystem::absolute(NativePath(path), ec);
  if (ec) return path;
  std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, ec);
  // A folder on the way that may not be searched: the name as it is given.
  if (ec) resolved = absolute;
  const std::u8string text = resolved.lexically_normal().u8string();
  return std::string(text.begin(), text.end());
}

std::string FileNameTag(const std::string& absolute) {
  std::string name = absolute.substr(absolute.find_last_of("/\\") + 1);
  if (name.size() >= 4) {
    std::string suffix = name.substr(name.size() - 4);
    std::transform(suffix.begin(), suffix.end(), suffix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (suffix == ".xml") name.resize(name.size() - 4);
  }
  for (char& c : name) {
    const bool kept = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    if (!kept) c = '_';
  }
  return name + "_" + Sha256Hex(absolute).substr(0, 8);
}

}  // namespace jr
