#include "tool/messages.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "platform/utf8.h"
#include "tests/console_text.h"
#include "tests/d88_builder.h"

namespace dorvex {
namespace {

TEST(MessagesTest, WritesEachLineAsItsShiftJisBytes) {
  for (int position : {1, 9, 10, 64}) {
    std::ostringstream stream;
    WriteWrongDisk(stream, position);
    WriteExtracting(stream, position);
    EXPECT_EQ(stream.str(),
              d88::WrongDiskLine(position) + d88::ExtractingLine(position));
  }
  std::ostringstream stream;
  WriteUsage(stream);
  WriteCannotOpen(stream);
  WriteReadFailed(stream, "57E");
  WriteWriteFailed(stream, "00A");
  EXPECT_EQ(stream.str(), d88::UsageLine() + d88::CannotOpenLine() +
                              d88::ReadFailedLine("57E") +
                              d88::WriteFailedLine("00A"));
}

// Decodes the Shift_JIS that the messages use: ASCII, hiragana and katakana
// by their JIS rows, and the few kanji and marks by a table of their own.
// Returns false on any other byte.
bool DecodeShiftJis(const char* in, std::u16string* out) {
  static const struct {
    unsigned code;
    char16_t unicode;
  } kOthers[] = {
      {0x815B, u'ー'}, {0x9687, u'枚'}, {0x96DA, u'目'}, {0x90B3, u'正'},
      {0x928A, u'抽'}, {0x8F6F, u'出'}, {0x93C7, u'読'}, {0x8D9E, u'込'},
      {0x8EB8, u'失'}, {0x9473, u'敗'}, {0x8F91, u'書'}, {0x8CC2, u'個'},
      {0x899F, u'押'}, {0x95C2, u'閉'},
  };
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(in);
       *p != 0; ++p) {
    if (*p < 0x80) {
      *out += static_cast<char16_t>(*p);
      continue;
    }
    if (p[1] == 0) return false;
    const unsigned code = (unsigned{p[0]} << 8) | p[1];
    ++p;
    if (code >= 0x829F && code <= 0x82F1) {
      *out += static_cast<char16_t>(u'ぁ' + (code - 0x829F));
    } else if (code >= 0x8340 && code <= 0x837E) {
      *out += static_cast<char16_t>(u'ァ' + (code - 0x8340));
    } else if (code >= 0x8380 && code <= 0x8396) {
      *out += static_cast<char16_t>(u'ム' + (code - 0x8380));
    } else {
      bool found = false;
      for (const auto& other : kOthers) {
        if (other.code == code) *out += other.unicode, found = true;
      }
      if (!found) return false;
    }
  }
  return true;
}

TEST(MessagesTest, BothFormsOfEveryMessageAreTheSameText) {
  for (int i = 0; i < kMessageCount; ++i) {
    const MessageText& text = TextOf(static_cast<Message>(i));
    std::u16string from_shift_jis;
    char16_t from_utf8[256];
    ASSERT_TRUE(DecodeShiftJis(text.shift_jis, &from_shift_jis)) << i;
    ASSERT_TRUE(Utf8ToUtf16(text.utf8, from_utf8, 256)) << i;
    EXPECT_EQ(from_shift_jis, std::u16string(from_utf8)) << i;
    EXPECT_EQ(from_shift_jis.back(), u'\n') << i;
  }
  // The decoder reads the UTF-8 a reader would write.
  std::u16string decoded;
  ASSERT_TRUE(DecodeShiftJis(d88::WrongDiskLine(7).c_str(), &decoded));
  EXPECT_EQ(decoded, u"ディスク 7 枚目は正しいディスクではないようです.\n");
}

// The READMEs, the guide to the messages and the Japanese man page quote
// each message as the program writes it, with N for a number and XXX for a
// file name: a changed message cannot leave them behind.
TEST(MessagesTest, DocumentsQuoteEveryMessage) {
  for (const char* document :
       {"README.md", "README.ja.md", "docs/usage.md", "dorvex.ja.1"}) {
    const auto bytes =
        d88::ReadBytes(std::string(DORVEX_SOURCE_DIR) + "/" + document);
    ASSERT_TRUE(bytes.has_value()) << document;
    const std::string text(bytes->begin(), bytes->end());
    for (int i = 0; i < kMessageCount; ++i) {
      std::string quoted = TextOf(static_cast<Message>(i)).utf8;
      quoted.pop_back();  // the line's end
      for (const auto& [format, shown] :
           {std::pair<std::string, std::string>{"%d", "N"}, {"%s", "XXX"}}) {
        const size_t at = quoted.find(format);
        if (at != std::string::npos) quoted.replace(at, 2, shown);
      }
      EXPECT_NE(text.find(quoted), std::string::npos)
          << document << " lacks \"" << quoted << "\"";
    }
  }
}

}  // namespace
}  // namespace dorvex
