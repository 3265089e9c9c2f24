// SPDX-License-Identifier: MIT
#include "AllowList.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct AllowCase {
    const char* address;
    bool allowed;
};

void PrintTo(const AllowCase& c, std::ostream* out) {
    *out << c.address;
}

class NotifydAllowListTest : public ::testing::TestWithParam<AllowCase> {};

TEST_P(NotifydAllowListTest, AllowsListedAddressesAndWholeDomainsOnly) {
    AllowList list;
    std::string error;
    ASSERT_TRUE(
        list.Parse(" alice@Example.com ,@example.ORG,bob.smith+gold@mail.example.net", error))
        << error;
    EXPECT_EQ(list.Allows(GetParam().address), GetParam().allowed);
}

INSTANTIATE_TEST_SUITE_P(
    Addresses, NotifydAllowListTest,
    ::testing::Values(AllowCase{"alice@example.com", true}, AllowCase{"alice@EXAMPLE.COM", true},
                      AllowCase{"Alice@example.com", false}, AllowCase{"bob@example.com", false},
                      AllowCase{"anyone@example.org", true}, AllowCase{"x@Example.Org", true},
                      AllowCase{"x@sub.example.org", false}, AllowCase{"x@example.org.test", false},
                      AllowCase{"x@notexample.org", false},
                      AllowCase{"bob.smith+gold@mail.example.net", true},
                      AllowCase{"bob.smith@mail.example.net", false},
                      AllowCase{"alice@example.com,x@example.net", false},
                      AllowCase{"x@example.net@example.org", false},
                      AllowCase{"\"x\"@example.org", false}, AllowCase{"", false}));

TEST(NotifydAllowListTest, RefusesEntriesThatAreNeitherAnAddressNorADomain) {
    for (const char* text : {"", "alice@example.com,", "example.com", "@", "@-example.com",
                             "alice@@example.com", "alice @example.com", "<alice@example.com>"}) {
        AllowList list;
        std::string error;
        EXPECT_FALSE(list.Parse(text, error)) << text;
        EXPECT_FALSE(error.empty());
    }
}

} // namespace
