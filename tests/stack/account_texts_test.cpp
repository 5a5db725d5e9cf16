#include "stack/account_texts.h"

#include <gtest/gtest.h>

#include "account_texts_data.h"

namespace {

const std::string kKey = kBuiltInScrambleKey;

TEST(Scrambling, GivesBackEveryByteAndMatchesTheBuild) {
    std::string every;
    for (int b = 0; b < 256; ++b) {
        every += static_cast<char>(b);
    }
    EXPECT_EQ(Unscramble(Scramble(every, kKey), kKey), every);
    EXPECT_NE(Scramble(every, kKey), every);
    // The build scrambles as the program does.
    const std::string scrambled = TRAILHOST_SCRAMBLE_SAMPLE_SCRAMBLED;
    EXPECT_EQ(Scramble(TRAILHOST_SCRAMBLE_SAMPLE_PLAIN, kKey), scrambled);
    EXPECT_EQ(Unscramble(scrambled, kKey), TRAILHOST_SCRAMBLE_SAMPLE_PLAIN);
}

TEST(AccountTexts, NoneInAnyCaseMeansNoValue) {
    for (const char* text : {"NONE", "none", "NoNe"}) {
        EXPECT_TRUE(IsNoAccountValue(text)) << text;
    }
    for (const std::string& text :
         std::vector<std::string>{"NONE ", "NON", "", Scramble("NONE", kKey)}) {
        EXPECT_FALSE(IsNoAccountValue(text)) << text;
    }
}

TEST(AccountTexts, EveryIdHasItsBuildText) {
    for (int id : {kAccountUserTextId, kAccountPasswordTextId, kAccountSpareTextId}) {
        EXPECT_FALSE(CompiledAccountText(id).empty()) << id;
        EXPECT_EQ(AccountText(id), CompiledAccountText(id)) << id;
    }
    EXPECT_EQ(AccountText(31999), "");
    EXPECT_EQ(ArchivePassPhrase(), Unscramble(AccountText(kAccountPasswordTextId), kKey));
}

#ifdef _WIN32
TEST(AccountTexts, TheStringTableGivesBackEveryByte) {
    for (int id : {kAccountUserTextId, kAccountPasswordTextId, kAccountSpareTextId}) {
        ASSERT_TRUE(StringTableText(id).has_value()) << id;
        EXPECT_EQ(*StringTableText(id), CompiledAccountText(id)) << id;
    }
    // The sample holds bytes above 127, which a code-page conversion would change.
    ASSERT_TRUE(StringTableText(32100).has_value());
    EXPECT_EQ(*StringTableText(32100), TRAILHOST_SCRAMBLE_SAMPLE_SCRAMBLED);
    EXPECT_FALSE(StringTableText(32101).has_value());
}
#endif

}  // namespace
