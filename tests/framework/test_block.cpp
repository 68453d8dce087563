// The parameter block reader and writer against blocks spelled out byte by
// byte, and the reader against truncated and random blocks that end right
// before a page the process may not read: a read past Size would fault.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "OVPluginBlock.h"

using Bytes = std::vector<uint8_t>;

namespace {

// A block whose last byte is the last readable byte of a page.
class TGuardedBlock {
 public:
  explicit TGuardedBlock(const Bytes& bytes) {
    SYSTEM_INFO si;
    GetSystemInfo(&si);
    page_ = si.dwPageSize;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * page_, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + page_, page_, PAGE_NOACCESS, &old);
    data_ = base_ + page_ - bytes.size();
    if (!bytes.empty()) std::memcpy(data_, bytes.data(), bytes.size());
    size_ = static_cast<int32_t>(bytes.size());
  }
  ~TGuardedBlock() { VirtualFree(base_, 0, MEM_RELEASE); }
  TGuardedBlock(const TGuardedBlock&) = delete;
  TGuardedBlock& operator=(const TGuardedBlock&) = delete;
  TBlockReader Reader() const { return TBlockReader(data_, size_); }

 private:
  DWORD page_;
  uint8_t* base_;
  uint8_t* data_;
  int32_t size_;
};

// One of every element, in the encoding's own bytes:
//   byte 7, boolean true, dword 0x12345678, double 45000.5 (a date-time:
//   2023-03-15 12:00), string "abc", string "".
const Bytes kEvery = {
    0x07,                                            // byte
    0x01,                                            // boolean
    0x78, 0x56, 0x34, 0x12,                          // dword
    0x00, 0x00, 0x00, 0x00, 0x10, 0xF9, 0xE5, 0x40,  // double
    0x04, 0x00, 0x00, 0x00, 'a',  'b',  'c',  0x00,  // string "abc"
    0x01, 0x00, 0x00, 0x00, 0x00,                    // string ""
};
// Where each element of kEvery ends.
const size_t kEnds[] = {1, 2, 6, 14, 22, 27};

// Reads the elements of kEvery in order; returns how many were read, and
// checks the values of those that were.
int ReadEvery(TBlockReader& r) {
  uint8_t b = 0;
  bool flag = false;
  uint32_t dw = 0;
  double d = 0;
  std::string s1 = "unchanged", s2 = "unchanged";
  int n = 0;
  if (r.Byte(b)) {
    EXPECT_EQ(b, 7);
    ++n;
  }
  if (r.Bool(flag)) {
    EXPECT_TRUE(flag);
    ++n;
  }
  if (r.Dword(dw)) {
    EXPECT_EQ(dw, 0x12345678u);
    ++n;
  }
  if (r.Double(d)) {
    EXPECT_EQ(d, 45000.5);
    ++n;
  }
  if (r.String(s1)) {
    EXPECT_EQ(s1, "abc");
    ++n;
  } else {
    EXPECT_EQ(s1, "unchanged");
  }
  if (r.String(s2)) {
    EXPECT_EQ(s2, "");
    ++n;
  } else {
    EXPECT_EQ(s2, "unchanged");
  }
  return n;
}

}  // namespace

// ------------------------------------------------------------- the format

TEST(BlockWriter, WritesEachElementInItsEncoding) {
  TBlockWriter w;
  w.Byte(7).Bool(true).Dword(0x12345678u).Double(45000.5).String("abc").String("");
  EXPECT_EQ(w.Bytes(), kEvery);
  EXPECT_EQ(w.Size(), kEvery.size());
}

TEST(BlockWriter, WritesNegativeNumbersAndFalseAsTheirBytes) {
  TBlockWriter w;
  w.Dword(-2).Bool(false).Double(-1.25);
  EXPECT_EQ(w.Bytes(), (Bytes{0xFE, 0xFF, 0xFF, 0xFF, 0x00, 0, 0, 0, 0, 0, 0, 0xF4, 0xBF}));
}

// A shortcut word: low byte first; a block of one byte has no word.
TEST(BlockWords, AreTwoLittleEndianBytesAndACutWordIsMissing) {
  TBlockWriter w;
  w.Word(0x6074).Byte(9);
  EXPECT_EQ(w.Bytes(), (Bytes{0x74, 0x60, 0x09}));
  TGuardedBlock g(w.Bytes());
  TBlockReader r = g.Reader();
  uint16_t v = 0;
  uint8_t b = 0;
  EXPECT_TRUE(r.Word(v) && r.Byte(b));
  EXPECT_EQ(v, 0x6074);
  EXPECT_EQ(b, 9);
  TGuardedBlock cut({0x74});
  TBlockReader short_ = cut.Reader();
  v = 7;
  EXPECT_FALSE(short_.Word(v));
  EXPECT_EQ(v, 7);
  EXPECT_FALSE(short_.ok());
}

TEST(BlockReader, ReadsEachElementOfAHandWrittenBlock) {
  TGuardedBlock g(kEvery);
  TBlockReader r = g.Reader();
  EXPECT_FALSE(r.Empty());
  EXPECT_EQ(ReadEvery(r), 6);
  EXPECT_TRUE(r.ok());
  EXPECT_FALSE(r.More());
  EXPECT_EQ(r.Position(), kEvery.size());
}

TEST(BlockReader, TakesAnyNonZeroByteAsTrue) {
  TGuardedBlock g({0x00, 0x02, 0xFF});
  TBlockReader r = g.Reader();
  bool a = true, b = false, c = false;
  EXPECT_TRUE(r.Bool(a) && r.Bool(b) && r.Bool(c));
  EXPECT_FALSE(a);
  EXPECT_TRUE(b);
  EXPECT_TRUE(c);
}

TEST(BlockReader, TakesAStringUpToItsFirstZeroAndSkipsItsStoredLength) {
  // Stored length 6 holding "ab", a zero, "cd", a zero; then a byte 9.
  TGuardedBlock g({0x06, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 0, 0x09});
  TBlockReader r = g.Reader();
  std::string s;
  uint8_t b = 0;
  EXPECT_TRUE(r.String(s));
  EXPECT_EQ(s, "ab");
  EXPECT_TRUE(r.Byte(b));
  EXPECT_EQ(b, 9);
}

TEST(BlockReader, AStringWithoutItsZeroStaysInsideItsLength) {
  // Length 3 but no zero among the three characters; a byte 5 follows.
  TGuardedBlock g({0x03, 0, 0, 0, 'x', 'y', 'z', 0x05});
  TBlockReader r = g.Reader();
  std::string s;
  uint8_t b = 0;
  EXPECT_TRUE(r.String(s));
  EXPECT_EQ(s, "xyz");
  EXPECT_TRUE(r.Byte(b));
  EXPECT_EQ(b, 5);
}

// ------------------------------------------------------- missing elements

TEST(BlockReader, ANeverConfiguredBlockIsEmptyAndHasNoElements) {
  TBlockReader r(nullptr, 0);
  EXPECT_TRUE(r.Empty());
  EXPECT_FALSE(r.More());
  int32_t v = 5;
  EXPECT_FALSE(r.Dword(v));
  EXPECT_EQ(v, 5);
  EXPECT_FALSE(r.ok());
}

TEST(BlockReader, ASizeWithoutDataOrANegativeSizeHasNoElements) {
  uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  for (auto [p, size] : {std::pair<const void*, int32_t>{nullptr, 8}, {data, -1}, {data, INT32_MIN}}) {
    TBlockReader r(p, size);
    EXPECT_FALSE(r.Empty());
    EXPECT_FALSE(r.ok());
    EXPECT_FALSE(r.More());
    uint8_t b = 42;
    EXPECT_FALSE(r.Byte(b));
    EXPECT_EQ(b, 42);
  }
}

TEST(BlockReader, ABlockCutAnywhereYieldsTheElementsBeforeTheCut) {
  for (size_t cut = 0; cut < kEvery.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    TGuardedBlock g(Bytes(kEvery.begin(), kEvery.begin() + static_cast<ptrdiff_t>(cut)));
    TBlockReader r = g.Reader();
    int whole = 0;
    while (whole < 6 && kEnds[whole] <= cut) ++whole;
    EXPECT_EQ(ReadEvery(r), whole);
    EXPECT_EQ(r.ok(), false);
    EXPECT_LE(r.Position(), cut);
    EXPECT_EQ(r.Position(), whole ? kEnds[whole - 1] : 0u);
  }
}

TEST(BlockReader, AfterAMissingElementEveryLaterReadFails) {
  // The dword is cut short; the bytes after it must not be taken for the
  // next elements.
  TGuardedBlock g({0x01, 0x02, 0x03});
  TBlockReader r = g.Reader();
  uint32_t dw = 0;
  uint8_t b = 0;
  EXPECT_FALSE(r.Dword(dw));
  EXPECT_FALSE(r.Byte(b));
  EXPECT_EQ(b, 0);
  EXPECT_FALSE(r.ok());
}

TEST(BlockReader, RefusesStringLengthsThatCannotBeRight) {
  struct Case {
    const char* what;
    Bytes bytes;
  } cases[] = {
      {"zero length", {0x00, 0, 0, 0, 'a', 0}},
      {"negative length", {0xFF, 0xFF, 0xFF, 0xFF, 'a', 0}},
      {"largest length", {0xFF, 0xFF, 0xFF, 0x7F, 'a', 0}},
      {"one past the end", {0x03, 0, 0, 0, 'a', 0}},
      {"length only", {0x01, 0, 0, 0}},
      {"half a length", {0x01, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TGuardedBlock g(c.bytes);
    TBlockReader r = g.Reader();
    std::string s = "default";
    EXPECT_FALSE(r.String(s));
    EXPECT_EQ(s, "default");
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.Position(), 0u);
  }
}

TEST(BlockReader, ReadsAnOptionalTailOnlyWhileDataRemains) {
  // An older layout ends after the string; the newer one adds a dword.
  Bytes older = {0x01, 0x02, 0, 0, 0, 'x', 0};
  Bytes newer = older;
  newer.insert(newer.end(), {0x2A, 0, 0, 0});
  for (const Bytes* layout : {&older, &newer}) {
    TGuardedBlock g(*layout);
    TBlockReader r = g.Reader();
    bool flag = false;
    std::string s;
    int32_t tail = -1;  // the default of the newer setting
    r.Bool(flag);
    r.String(s);
    if (r.More()) r.Dword(tail);
    EXPECT_TRUE(r.ok());
    EXPECT_TRUE(flag);
    EXPECT_EQ(s, "x");
    EXPECT_EQ(tail, layout == &older ? -1 : 42);
  }
}

// --------------------------------------------------------- random blocks

namespace {

enum Kind { kByte, kBool, kDword, kDouble, kString };

// Whether an element of that kind is present at pos, from the encoding
// alone: fixed widths, and for strings a stored length from 1 to what is
// left after it.
bool Present(Kind k, const Bytes& b, size_t pos, size_t& next) {
  size_t left = b.size() - pos;
  static const size_t widths[] = {1, 1, 4, 8};
  if (k != kString) {
    next = pos + widths[k];
    return widths[k] <= left;
  }
  if (left < 4) return false;
  uint32_t n = b[pos] | b[pos + 1] << 8 | b[pos + 2] << 16 | static_cast<uint32_t>(b[pos + 3]) << 24;
  next = pos + 4 + n;
  return n >= 1 && n <= left - 4;
}

// A double from random bits, rounded to double precision once (the x87
// keeps more bits in its registers).
double AsDouble(uint64_t v) {
  volatile double d = static_cast<double>(static_cast<uint32_t>(v)) / 7.0;
  return d;
}

bool ReadKind(TBlockReader& r, Kind k) {
  uint8_t b;
  bool f;
  uint32_t d;
  double x;
  std::string s;
  switch (k) {
    case kByte: return r.Byte(b);
    case kBool: return r.Bool(f);
    case kDword: return r.Dword(d);
    case kDouble: return r.Double(x);
    case kString: return r.String(s);
  }
  return false;
}

}  // namespace

TEST(BlockReader, RandomBlocksAreReadWithinTheirSizeAndEveryGapIsReported) {
  std::mt19937 rng(20240611);
  for (int round = 0; round < 20000; ++round) {
    Bytes b(rng() % 48);
    for (auto& x : b) x = static_cast<uint8_t>(rng());
    // Plausible string lengths now and then, so strings are also found.
    if (b.size() >= 4 && rng() % 2) {
      size_t at = rng() % (b.size() - 3);
      uint32_t n = rng() % (b.size() + 2);
      for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(n >> (8 * i));
    }
    TGuardedBlock g(b);
    TBlockReader r = g.Reader();
    size_t pos = 0;
    bool gone = false;
    for (int step = 0; step < 12; ++step) {
      Kind k = static_cast<Kind>(rng() % 5);
      size_t next = pos;
      bool expected = !gone && Present(k, b, pos, next);
      bool got = ReadKind(r, k);
      ASSERT_EQ(got, expected) << "round " << round << " step " << step;
      ASSERT_LE(r.Position(), b.size());
      if (got)
        pos = next;
      else
        gone = true;
      ASSERT_EQ(r.Position(), pos);
      ASSERT_EQ(r.ok(), !gone);
    }
  }
}

TEST(BlockReaderWriter, RandomSequencesReadBackWholeOrUpToTheCut) {
  std::mt19937 rng(77);
  for (int round = 0; round < 3000; ++round) {
    TBlockWriter w;
    std::vector<Kind> kinds;
    std::vector<uint64_t> values;
    std::vector<std::string> texts;
    std::vector<size_t> ends;
    int count = 1 + rng() % 8;
    for (int i = 0; i < count; ++i) {
      Kind k = static_cast<Kind>(rng() % 5);
      kinds.push_back(k);
      uint64_t v = (static_cast<uint64_t>(rng()) << 32) | rng();
      std::string t(rng() % 6, 'a' + static_cast<char>(rng() % 26));
      values.push_back(v);
      texts.push_back(t);
      switch (k) {
        case kByte: w.Byte(static_cast<uint8_t>(v)); break;
        case kBool: w.Bool(v & 1); break;
        case kDword: w.Dword(static_cast<uint32_t>(v)); break;
        case kDouble: w.Double(AsDouble(v)); break;
        case kString: w.String(t); break;
      }
      ends.push_back(w.Size());
    }
    size_t cut = rng() % 3 ? w.Size() : rng() % (w.Size() + 1);
    TGuardedBlock g(Bytes(w.Bytes().begin(), w.Bytes().begin() + static_cast<ptrdiff_t>(cut)));
    TBlockReader r = g.Reader();
    for (int i = 0; i < count; ++i) {
      uint64_t v = values[static_cast<size_t>(i)];
      bool whole = ends[static_cast<size_t>(i)] <= cut;
      bool got;
      switch (kinds[static_cast<size_t>(i)]) {
        case kByte: {
          uint8_t x = 0;
          got = r.Byte(x);
          if (got) {
            ASSERT_EQ(x, static_cast<uint8_t>(v));
          }
          break;
        }
        case kBool: {
          bool x = false;
          got = r.Bool(x);
          if (got) {
            ASSERT_EQ(x, bool(v & 1));
          }
          break;
        }
        case kDword: {
          uint32_t x = 0;
          got = r.Dword(x);
          if (got) {
            ASSERT_EQ(x, static_cast<uint32_t>(v));
          }
          break;
        }
        case kDouble: {
          double x = 0;
          got = r.Double(x);
          if (got) {
            ASSERT_EQ(x, AsDouble(v));
          }
          break;
        }
        default: {
          std::string x;
          got = r.String(x);
          if (got) {
            ASSERT_EQ(x, texts[static_cast<size_t>(i)]);
          }
          break;
        }
      }
      ASSERT_EQ(got, whole) << "round " << round << " element " << i;
    }
    ASSERT_EQ(r.ok(), cut == w.Size());
  }
}
