#include "tools/base64.h"

#include <string.h>

#include <array>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The two characters of every 12-bit value, so three bytes take two lookups.
using PairTable = std::array<std::array<char, 2>, 4096>;
constexpr PairTable MakePairTable() {
  PairTable table{};
  for (size_t i = 0; i < table.size(); ++i) table[i] = {kAlphabet[i >> 6], kAlphabet[i & 63]};
  return table;
}
constexpr PairTable kPairs = MakePairTable();

// Any entry with a bit in the top byte is not a data character; or-ing the
// four lookups of a group then tells in one test whether the fast path holds.
constexpr uint32_t kNotData = 0x01000000;

// The sextet of each character, already shifted to its place in a group.
constexpr std::array<uint32_t, 256> MakeTable(int shift) {
  std::array<uint32_t, 256> table{};
  for (auto& entry : table) entry = kNotData;
  for (uint32_t i = 0; i < 64; ++i) {
    table[static_cast<unsigned char>(kAlphabet[i])] = i << shift;
  }
  return table;
}

constexpr std::array<uint32_t, 256> kSextet0 = MakeTable(18);
constexpr std::array<uint32_t, 256> kSextet1 = MakeTable(12);
constexpr std::array<uint32_t, 256> kSextet2 = MakeTable(6);
constexpr std::array<uint32_t, 256> kSextet3 = MakeTable(0);

}  // namespace

size_t Base64Encoder::MaxOutput(size_t size) const {
  // The waiting bytes make at most one group more.
  const size_t chars = ((size + 2) / 3 + 1) * 4;
  return chars + (line_length_ ? chars / line_length_ + 1 : 0);
}

char* Base64Encoder::Put(char c, char* out) {
  if (line_length_ && column_ == line_length_) {
    *out++ = '\n';
    column_ = 0;
  }
  *out++ = c;
  ++column_;
  return out;
}

char* Base64Encoder::PutGroup(uint32_t group, char* out) {
  // Lines of whole groups take a group at a time.
  if (line_length_ % 4 == 0) {
    if (line_length_ && column_ == line_length_) {
      *out++ = '\n';
      column_ = 0;
    }
    memcpy(out, kPairs[group >> 12].data(), 2);
    memcpy(out + 2, kPairs[group & 4095].data(), 2);
    column_ += 4;
    return out + 4;
  }
  out = Put(kAlphabet[group >> 18], out);
  out = Put(kAlphabet[group >> 12 & 63], out);
  out = Put(kAlphabet[group >> 6 & 63], out);
  return Put(kAlphabet[group & 63], out);
}

size_t Base64Encoder::Feed(const uint8_t* data, size_t size, char* out) {
  char* const start = out;
  const uint8_t* const end = data + size;
  while (waiting_size_ > 0 && data < end) {
    if (waiting_size_ < 2) {
      waiting_[waiting_size_++] = *data++;
      continue;
    }
    out = PutGroup(uint32_t{waiting_[0]} << 16 | uint32_t{waiting_[1]} << 8 | *data++, out);
    waiting_size_ = 0;
  }
  for (; end - data >= 3; data += 3)
    out = PutGroup(uint32_t{data[0]} << 16 | uint32_t{data[1]} << 8 | data[2], out);
  while (data < end) waiting_[waiting_size_++] = *data++;
  return static_cast<size_t>(out - start);
}

size_t Base64Encoder::Finish(char* out) {
  if (waiting_size_ == 0) return 0;
  const bool two = waiting_size_ == 2;
  const uint32_t v = uint32_t{waiting_[0]} << 16 | (two ? uint32_t{waiting_[1]} << 8 : 0);
  char* end = Put(kAlphabet[v >> 18], out);
  end = Put(kAlphabet[v >> 12 & 63], end);
  end = Put(two ? kAlphabet[v >> 6 & 63] : '=', end);
  end = Put('=', end);
  waiting_size_ = 0;
  return static_cast<size_t>(end - out);
}

std::string EncodeBase64(std::string_view data, size_t line_length) {
  Base64Encoder encoder(line_length);
  std::string text(encoder.MaxOutput(data.size()), '\0');
  size_t size =
      encoder.Feed(reinterpret_cast<const uint8_t*>(data.data()), data.size(), text.data());
  size += encoder.Finish(text.data() + size);
  text.resize(size);
  return text;
}

bool Base64Decoder::Fault(const char* what, uint64_t offset, std::string* err) const {
  *err = std::string(what) + " at offset " + std::to_string(offset);
  return false;
}

bool Base64Decoder::Feed(const char* text, size_t size, uint8_t* out, size_t* out_size,
                         std::string* err) {
  const auto* p = reinterpret_cast<const unsigned char*>(text);
  const auto* end = p + size;
  uint8_t* o = out;
  while (p < end) {
    if (filled_ == 0 && !padded_ && !after_cr_) {
      while (end - p >= 4) {
        uint32_t v = kSextet0[p[0]] | kSextet1[p[1]] | kSextet2[p[2]] | kSextet3[p[3]];
        if (v & 0xFF000000) break;
        o[0] = static_cast<uint8_t>(v >> 16);
        o[1] = static_cast<uint8_t>(v >> 8);
        o[2] = static_cast<uint8_t>(v);
        o += 3;
        p += 4;
      }
      if (p == end) break;
    }
    // One character at a time: line ends, padding, faults, and groups split
    // across lines or pieces.
    uint64_t offset =
        offset_ + static_cast<uint64_t>(p - reinterpret_cast<const unsigned char*>(text));
    unsigned char c = *p++;
    if (after_cr_) {
      if (c != '\n') return Fault("invalid character", cr_offset_, err);
      after_cr_ = false;
      continue;
    }
    if (c == '\n') continue;
    if (c == '\r') {
      after_cr_ = true;
      cr_offset_ = offset;
      continue;
    }
    if (padded_) return Fault("data after padding", offset, err);
    if (filled_ == 0) group_offset_ = offset;
    if (c == '=') {
      if (filled_ < 2) return Fault("misplaced '='", offset, err);
      if (padding_ == 0) padding_offset_ = offset;
      ++padding_;
      if (++filled_ < 4) continue;
      // "xy==" carries one byte, "xyz=" two.
      uint32_t v = group_[0] << 18 | group_[1] << 12 | (padding_ == 1 ? group_[2] << 6 : 0);
      *o++ = static_cast<uint8_t>(v >> 16);
      if (padding_ == 1) *o++ = static_cast<uint8_t>(v >> 8);
      filled_ = 0;
      padding_ = 0;
      padded_ = true;
      continue;
    }
    uint32_t sextet = kSextet3[c];
    if (sextet & kNotData) return Fault("invalid character", offset, err);
    if (padding_) return Fault("misplaced '='", padding_offset_, err);
    group_[filled_++] = sextet;
    if (filled_ < 4) continue;
    uint32_t v = group_[0] << 18 | group_[1] << 12 | group_[2] << 6 | group_[3];
    o[0] = static_cast<uint8_t>(v >> 16);
    o[1] = static_cast<uint8_t>(v >> 8);
    o[2] = static_cast<uint8_t>(v);
    o += 3;
    filled_ = 0;
  }
  offset_ += size;
  *out_size = static_cast<size_t>(o - out);
  return true;
}

bool Base64Decoder::Finish(std::string* err) const {
  if (after_cr_) return Fault("invalid character", cr_offset_, err);
  if (filled_) return Fault("truncated final group", group_offset_, err);
  return true;
}

bool DecodeBase64(std::string_view text, std::string* out, std::string* err) {
  std::string bytes(Base64Decoder::MaxOutput(text.size()), '\0');
  Base64Decoder decoder;
  size_t size = 0;
  if (!decoder.Feed(text.data(), text.size(), reinterpret_cast<uint8_t*>(bytes.data()), &size,
                    err) ||
      !decoder.Finish(err)) {
    return false;
  }
  bytes.resize(size);
  *out = std::move(bytes);
  return true;
}
