// SPDX-License-Identifier: MIT
#include "core/common/ByteBuffer.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>

TEST(ByteBufferTest, GrowsByDoublingFromSixteen) {
    CByteBuffer buffer;
    EXPECT_EQ(buffer.Capacity(), 0);
    ASSERT_TRUE(buffer.Append("abc"));
    EXPECT_EQ(buffer.Capacity(), 16);
    ASSERT_TRUE(buffer.Append(std::string(14, 'x')));
    EXPECT_EQ(buffer.Size(), 17);
    EXPECT_EQ(buffer.Capacity(), 32);
    ASSERT_TRUE(buffer.Append(std::string(100, 'y')));
    EXPECT_EQ(buffer.Capacity(), 128);
    EXPECT_EQ(buffer.View().substr(0, 4), "abcx");
}

TEST(ByteBufferTest, AppendingATextAddsNoTerminatingZero) {
    CByteBuffer buffer;
    buffer.Append("gold");
    EXPECT_EQ(buffer.Size(), 4);
    EXPECT_EQ(buffer.View(), "gold");
}

TEST(ByteBufferTest, EmptyingReleasesTheBlock) {
    CByteBuffer buffer;
    buffer.Append("price");
    buffer.Empty();
    EXPECT_EQ(buffer.Size(), 0);
    EXPECT_EQ(buffer.Capacity(), 0);
    EXPECT_EQ(buffer.Data(), nullptr);
}

TEST(ByteBufferTest, AnAppendPastTheSignedLimitFailsAndKeepsTheContent) {
    CByteBuffer buffer;
    buffer.Append("abc");
    const char byte = 'z';
    EXPECT_FALSE(buffer.Append(&byte, std::numeric_limits<std::int32_t>::max()));
    EXPECT_FALSE(buffer.Append(&byte, -1));
    EXPECT_EQ(buffer.View(), "abc");
    EXPECT_TRUE(buffer.Append(&byte, 0));
}
