// The formatter must print 64-bit values on both platforms and never overrun or leave a
// buffer unterminated.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "foundation/message.h"

using kv::msg_format;

TEST(MessageFormat, SixtyFourBitConversions) {
    char buffer[64];
    EXPECT_EQ(msg_format(buffer, sizeof buffer, "%llu", 18446744073709551615ULL), 20);
    EXPECT_STREQ(buffer, "18446744073709551615");
    msg_format(buffer, sizeof buffer, "%016llx", 255ULL);
    EXPECT_STREQ(buffer, "00000000000000ff");
    msg_format(buffer, sizeof buffer, " (Byte %llu)", 4294967296ULL);
    EXPECT_STREQ(buffer, " (Byte 4294967296)");
}

TEST(MessageFormat, PercentInsideTextIsNotInterpreted) {
    char buffer[64];
    msg_format(buffer, sizeof buffer, "%%%s", "x");
    EXPECT_STREQ(buffer, "%x");
    kv::msg_set(buffer, "100 %s %n %% Treffer");
    EXPECT_STREQ(buffer, "100 %s %n %% Treffer");
}

TEST(MessageFormat, CutsAndTerminates) {
    char buffer[8];
    std::memset(buffer, 'z', sizeof buffer);
    EXPECT_LT(msg_format(buffer, sizeof buffer, "%s", "Vorgang abgebrochen."), 0);
    EXPECT_STREQ(buffer, "Vorgang");
    // Exactly size - 1 characters fit.
    EXPECT_EQ(msg_format(buffer, sizeof buffer, "%s", "1234567"), 7);
    EXPECT_STREQ(buffer, "1234567");
    // Size 0 writes nothing.
    char untouched = 'q';
    msg_format(&untouched, 0, "%s", "abc");
    EXPECT_EQ(untouched, 'q');
}

TEST(MessageFormat, LongUmlautTextCutInsideMessageBuffer) {
    char message[kv::MESSAGE_SIZE];
    std::string long_text(3000, 'x');
    msg_format(message, sizeof message, "%s", long_text.c_str());
    EXPECT_EQ(std::strlen(message), kv::MESSAGE_SIZE - 1);
}
