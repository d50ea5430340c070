#include <gtest/gtest.h>

#include <cerrno>
#include <string>

#include "Charset.h"

namespace printerlink {
namespace {

TEST(Charset, ConvertsUpToTheFirstFaultAndSaysWhere) {
  struct Case {
    const char* catches;
    std::string in;
    std::string bytes;
    std::size_t read;
    int error;
  };
  const std::string zhong = "\xE4\xB8\xAD";  // U+4E2D in UTF-8
  const Case cases[] = {
      {"a character is lost between passes", zhong + "a" + zhong,
       "\xD6\xD0"
       "a\xD6\xD0",
       7, 0},
      {"a long text is cut at the output buffer", std::string(600, 'x') + zhong, std::string(600, 'x') + "\xD6\xD0",
       603, 0},
      {"a character without a GBK form is passed over",
       "ab\xF0\x9F\x98\x80"
       "c",
       "ab", 2, EILSEQ},
      {"a cut-off sequence at the end reads as complete", "a\xE4\xB8", "a", 1, EINVAL},
      {"bytes that are not UTF-8 are taken for text", "a\xFF", "a", 1, EILSEQ},
  };
  Charset gbk("GBK", "UTF-8");
  ASSERT_TRUE(gbk.ok());
  for (const Case& c : cases) {
    const Converted out = gbk.Convert(c.in);
    EXPECT_EQ(out.bytes, c.bytes) << c.catches;
    EXPECT_EQ(out.read, c.read) << c.catches;
    EXPECT_EQ(out.error, c.error) << c.catches;
  }
}

TEST(Charset, AnUnknownCharacterSetIsAFaultNotACrash) {
  Charset none("GBK", "NO-SUCH-CHARSET");
  EXPECT_FALSE(none.ok());
  EXPECT_EQ(none.Convert("abc").error, ENOENT);
}

TEST(Charset, GbkRoundTripsAndMarksWhatItCannotRead) {
  EXPECT_EQ(EncodeGbk(U"a\u4E2D\U0001F600b"), "a\xD6\xD0?b") << "one character without a GBK form costs only itself";
  EXPECT_EQ(DecodeGbk("\xD6\xD0"
                      "a\xFF"
                      "b\xD6"),
            U"\u4E2D"
            "a\uFFFDb\uFFFD")
      << "a byte that starts no character is marked and reading goes on after it";
}

}  // namespace
}  // namespace printerlink
