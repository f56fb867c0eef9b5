// Dates, languages and names as the metadata writes them.
#include "text/metadata/normalise.h"

#include <gtest/gtest.h>

namespace {

using namespace quillan::text::metadata;

TEST(Normalise, DatesBecomeIso8601OrNothing)
{
    const std::pair<const char *, const char *> cases[] = {
        {"2015-07-10", "2015-07-10"},
        {" 2015-07-10T09:53:00-04:00 ", "2015-07-10T09:53:00-04:00"},
        {"2019-01-03T07:00:02.000Z", "2019-01-03T07:00:02Z"},
        {"2021-11-01T10:52:50+0100", "2021-11-01T10:52:50+01:00"},
        {"2017-03-09 23:16:02 +00:00", "2017-03-09T23:16:02+00:00"},
        {"2015-09-17T16:57", "2015-09-17T16:57:00"},
        {"2015/7/1", "2015-07-01"},
        {"20150710", "2015-07-10"},
        {"Fri, 10 Jul 2015 09:53:00 GMT", "2015-07-10T09:53:00Z"},
        {"July 10, 2015", "2015-07-10"},
        {"Sept. 3rd 2015", "2015-09-03"},
        {"10 December 2019 8:05 pm UTC", "2019-12-10T20:05:00Z"},
        {"March 11, 2015 3:46 PM", "2015-03-11"}, // a time without its zone is not kept
        {"2016-02-29", "2016-02-29"},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(isoDate(in).value_or("(none)"), out) << in;
    for (const char *bad : {"", "yesterday", "07/10/2015", "10.07.2015", "2015-02-29", "2015-13-01", "2015-07",
                            "12345678", "Jane Doe", "May 40, 2015"})
        EXPECT_FALSE(isoDate(bad)) << bad;
    // A time that cannot be leaves the date alone.
    EXPECT_EQ(isoDate("2015-07-10T25:00"), "2015-07-10");
}

TEST(Normalise, LanguagesBecomeBcp47Tags)
{
    EXPECT_EQ(languageTag("en_US"), "en-US");
    EXPECT_EQ(languageTag(" EN-gb "), "en-GB");
    EXPECT_EQ(languageTag("zh-hant-tw"), "zh-Hant-TW");
    EXPECT_EQ(languageTag("es-419"), "es-419");
    EXPECT_EQ(languageTag("en, fr"), "en");
    EXPECT_EQ(languageTag("cs"), "cs");
    for (const char *bad : {"", "e", "!!", "en--us", "123", "en-toolongsubtag"})
        EXPECT_FALSE(languageTag(bad)) << bad;
}

TEST(Normalise, NamesAddressesAndSpace)
{
    EXPECT_EQ(collapseSpace(" a \t\n b\xC2\xA0\xC2\xA0 c "), "a b c");
    for (const char *address :
         {"https://example.com/jane", "//example.com/x", "www.example.com", "facebook.com/jane.doe", "@jane"})
        EXPECT_TRUE(looksLikeAddress(address)) << address;
    for (const char *name : {"Jane Doe", "Jong, Michiel de", "J. R. R. Tolkien", "AC/DC fan club"})
        EXPECT_FALSE(looksLikeAddress(name)) << name;
    EXPECT_TRUE(sameName("The  Guardian", "the guardian"));
    EXPECT_FALSE(sameName("Guardian", "The Guardian"));
}

} // namespace
