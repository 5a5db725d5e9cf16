#include "stack/account_texts.h"

#include <gtest/gtest.h>

#include "account_texts_data.h"

namespace {

const std::string kKey = kBuiltInScrambleKey;

TEST(Scrambling, UsesTheBuiltInKeyByteByByte) {
    EXPECT_EQ(kKey, "TheRiverRunsDeepAndSlowly");
    // 'T' - 48 = 36, 'h' - 48 = 56, 'e' - 48 = 53.
    EXPECT_EQ(Scramble("AAA", kKey), std::string({'A' + 36, 'A' + 56, 'A' + 53}));
    EXPECT_EQ(Unscramble(std::string({'A' + 36, 'A' + 56, 'A' + 53}), kKey), "AAA");
    // The key starts again after its 25 letters.
    const std::string plain(26, 'a');
    EXPECT_EQ(Scramble(plain, kKey)[25], Scramble(plain, kKey)[0]);
}

TEST(Scrambling, WrapsAroundEightBitsBothWays) {
    EXPECT_EQ(Unscramble("\x01", kKey), std::string(1, static_cast<char>(1 - 36 + 256)));
    EXPECT_EQ(Scramble("\xf0", kKey), std::string(1, static_cast<char>(0xf0 + 36 - 256)));
    std::string every;
    for (int b = 0; b < 256; ++b) {
        every += static_cast<char>(b);
    }
    EXPECT_EQ(Unscramble(Scramble(every, kKey), kKey), every);
    EXPECT_EQ(Scramble(every, kKey).size(), every.size());
}

TEST(Scrambling, TheBuildScramblesAsTheProgramDoes) {
    const std::string scrambled = TRAILHOST_SCRAMBLE_SAMPLE_SCRAMBLED;
    EXPECT_EQ(Scramble(TRAILHOST_SCRAMBLE_SAMPLE_PLAIN, kKey), scrambled);
    EXPECT_EQ(Unscramble(scrambled, kKey), TRAILHOST_SCRAMBLE_SAMPLE_PLAIN);
}

TEST(AccountTexts, NoneInAnyCaseMeansNoValue) {
    EXPECT_TRUE(IsNoAccountValue("NONE"));
    EXPECT_TRUE(IsNoAccountValue("none"));
    EXPECT_TRUE(IsNoAccountValue("NoNe"));
    EXPECT_FALSE(IsNoAccountValue("NONE "));
    EXPECT_FALSE(IsNoAccountValue("NON"));
    EXPECT_FALSE(IsNoAccountValue(""));
    EXPECT_FALSE(IsNoAccountValue(Scramble("NONE", kKey)));
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
#else
TEST(AccountTexts, LinuxHasNoStringTable) {
    EXPECT_FALSE(StringTableText(kAccountPasswordTextId).has_value());
}
#endif

}  // namespace
