#include "tool/messages.h"

#include <gtest/gtest.h>

#include <sstream>

#include "tests/console_text.h"

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

}  // namespace
}  // namespace dorvex
