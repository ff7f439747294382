#include "tools/base64.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(gen());
  return bytes;
}

// Feeds `text` in pieces of `piece` characters, as the decode tool does with
// its reads.
bool DecodeInPieces(const std::string& text, size_t piece, std::string* out, std::string* err) {
  Base64Decoder decoder;
  std::vector<uint8_t> buffer(Base64Decoder::MaxOutput(piece));
  out->clear();
  for (size_t at = 0; at < text.size(); at += piece) {
    size_t n = std::min(piece, text.size() - at);
    size_t size = 0;
    if (!decoder.Feed(text.data() + at, n, buffer.data(), &size, err)) return false;
    out->append(reinterpret_cast<char*>(buffer.data()), size);
  }
  return decoder.Finish(err);
}

TEST(Base64Test, KnownValues) {
  EXPECT_EQ("", EncodeBase64("", 72));
  EXPECT_EQ("Zg==", EncodeBase64("f", 72));
  EXPECT_EQ("Zm8=", EncodeBase64("fo", 72));
  EXPECT_EQ("Zm9v", EncodeBase64("foo", 72));
  EXPECT_EQ("Zm9vYmFy", EncodeBase64("foobar", 0));
  EXPECT_EQ("Zm9v\nYmFy", EncodeBase64("foobar", 4));
  EXPECT_EQ("Zm9vY\nmFy", EncodeBase64("foobar", 5));
  EXPECT_EQ("+/+/", EncodeBase64("\xfb\xff\xbf", 0));
}

// However the bytes are cut into pieces, the text is the same.
TEST(Base64Test, EncoderFedInPiecesGivesKnownText) {
  const std::string data = "foobarbaz!";
  for (size_t line : {0, 5, 8}) {
    const char* expected = line == 0   ? "Zm9vYmFyYmF6IQ=="
                           : line == 5 ? "Zm9vY\nmFyYm\nF6IQ=\n="
                                       : "Zm9vYmFy\nYmF6IQ==";
    for (size_t piece = 1; piece <= data.size(); ++piece) {
      Base64Encoder encoder(line);
      std::string text;
      for (size_t at = 0; at < data.size(); at += piece) {
        const size_t n = std::min(piece, data.size() - at);
        std::string out(encoder.MaxOutput(n), '\0');
        out.resize(encoder.Feed(reinterpret_cast<const uint8_t*>(data.data() + at), n, out.data()));
        text += out;
      }
      std::string out(encoder.MaxOutput(0), '\0');
      out.resize(encoder.Finish(out.data()));
      EXPECT_EQ(text + out, expected) << "line " << line << " piece " << piece;
    }
  }
}

TEST(Base64Test, RoundTripsEveryShortLength) {
  for (size_t size = 0; size <= 110; ++size) {
    std::string data = RandomBytes(size, static_cast<unsigned>(size));
    for (size_t line : {0, 4, 7, 72}) {
      std::string text = EncodeBase64(data, line);
      if (line) {
        // Every line but the last is full, and nothing follows the last.
        size_t start = 0;
        for (size_t lf; (lf = text.find('\n', start)) != std::string::npos; start = lf + 1) {
          EXPECT_EQ(line, lf - start);
        }
        EXPECT_LE(text.size() - start, line);
      }
      std::string out, err;
      ASSERT_TRUE(DecodeBase64(text, &out, &err)) << err;
      EXPECT_EQ(data, out) << "size " << size << " line " << line;
    }
  }
}

TEST(Base64Test, LargeBufferRoundTripsInAnyPieces) {
  std::string data = RandomBytes(1 << 20, 7);
  std::string text = EncodeBase64(data, 72);
  std::string crlf;
  for (char c : text) {
    if (c == '\n') crlf += '\r';
    crlf += c;
  }
  for (size_t piece : {1, 3, 4, 73, 4096, 1 << 20, 4 << 20}) {
    std::string out, err;
    ASSERT_TRUE(DecodeInPieces(text, piece, &out, &err)) << err;
    EXPECT_EQ(data, out) << "piece " << piece;
    ASSERT_TRUE(DecodeInPieces(crlf, piece, &out, &err)) << err;
    EXPECT_EQ(data, out) << "CR LF, piece " << piece;
  }
}

TEST(Base64Test, AcceptsLineEndsAnywhere) {
  const char* texts[] = {"Zm9v\nYmFy\n", "Zm\n9vYm\r\nFy", "\n\r\nZm9vYmFy\r\n\n", "Zm9vYmFy"};
  for (const char* text : texts) {
    std::string out, err;
    EXPECT_TRUE(DecodeBase64(text, &out, &err)) << text << ": " << err;
    EXPECT_EQ("foobar", out) << text;
  }
  std::string out, err;
  EXPECT_TRUE(DecodeBase64("Zm8=\n", &out, &err)) << err;
  EXPECT_EQ("fo", out);
  EXPECT_TRUE(DecodeBase64("Zg=\r\n=\n", &out, &err)) << err;
  EXPECT_EQ("f", out);
}

TEST(Base64Test, RefusesMalformedText) {
  struct Case {
    std::string text;
    std::string err;
  } cases[] = {
      {"Zm9v*mFy", "invalid character at offset 4"},
      {"Zm9v YmFy", "invalid character at offset 4"},
      {std::string("Zm\0v", 4), "invalid character at offset 2"},
      {"Zm9v\xc3\xa9", "invalid character at offset 4"},
      {"Zm9v\rYmFy", "invalid character at offset 4"},
      {"Zm9v\r", "invalid character at offset 4"},
      {"Zm9v\r\r\n", "invalid character at offset 4"},
      {"=m9v", "misplaced '=' at offset 0"},
      {"Z=9v", "misplaced '=' at offset 1"},
      {"Zm=v", "misplaced '=' at offset 2"},
      {"Zm9vZ===", "misplaced '=' at offset 5"},
      {"Zm8=Zm9v", "data after padding at offset 4"},
      {"Zg==\nZg==", "data after padding at offset 5"},
      {"Zg===", "data after padding at offset 4"},
      {"Zm9vY", "truncated final group at offset 4"},
      {"Zm9vYm", "truncated final group at offset 4"},
      {"Zm9vYmF", "truncated final group at offset 4"},
      {"Zm9vYm=", "truncated final group at offset 4"},
      {"Zm9v\nYm\n", "truncated final group at offset 5"},
  };
  for (const Case& c : cases) {
    for (size_t piece : {1, 2, 64}) {
      std::string out, err;
      EXPECT_FALSE(DecodeInPieces(c.text, piece, &out, &err)) << c.text;
      EXPECT_EQ(c.err, err) << c.text << ", piece " << piece;
    }
  }
}

}  // namespace
