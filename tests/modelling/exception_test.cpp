#include <gtest/gtest.h>

#include <sstream>

#include "qroexception.h"

namespace {

std::string printed(const QroQuietException& e) {
  std::ostringstream os;
  e.print(os);
  return os.str();
}

TEST(Exception, NullMessagePrintsNothing) {
  QroException e(nullptr, 1);
  EXPECT_STREQ(e.getMessage(), "");
  EXPECT_EQ(printed(e), "");
}

TEST(Exception, OwnedMessageIsCopiedAfresh) {
  char buffer[] = "temporary text";
  QroWrongUsage a(buffer, 1);
  buffer[0] = 'X';
  EXPECT_STREQ(a.getMessage(), "temporary text");
  QroWrongUsage b(a);
  EXPECT_NE(a.getMessage(), b.getMessage());
  EXPECT_STREQ(b.getMessage(), "temporary text");
  QroWrongUsage c("literal", 0);
  QroWrongUsage d(c);
  EXPECT_EQ(c.getMessage(), d.getMessage());
  a = c;
  EXPECT_EQ(a.getMessage(), c.getMessage());
}

TEST(Exception, FixedMessagesAndCatchByBase) {
  try {
    throw QroMemoryException();
  } catch (const QroException& e) {
    EXPECT_EQ(printed(e), "not enough memory");
  }
  EXPECT_EQ(printed(QroEmptyHandleException()), "Using empty handle.");
  EXPECT_EQ(printed(QroEmptyHandleException("Using empty QroEnv handle")),
            "Using empty QroEnv handle");
  EXPECT_EQ(printed(QroNoChangeDuringSearchException()),
            "This change is not allowed during a search.");
  EXPECT_EQ(printed(QroEnvAllocatorThreadMismatch()), "env allocator thread mismatch.");
  EXPECT_EQ(printed(QroEnvAllocationDisabled()), "env allocation disabled.");
  EXPECT_EQ(printed(QroNotImplemented()), "Feature Not Implemented.");
}

TEST(Exception, CopyStreamTextEmptiesTheStream) {
  std::ostringstream os;
  os << "code " << 42;
  char* text = QroCopyStreamText(os);
  EXPECT_STREQ(text, "code 42");
  EXPECT_EQ(os.str(), "");
  QroException e(text, 1);
  delete[] text;
  EXPECT_EQ(printed(e), "code 42");
}

}  // namespace
