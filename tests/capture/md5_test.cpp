// MD5 against the test suite of RFC 1321, fed whole and in pieces that
// straddle the 64-byte blocks and the padding's boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>

#include "capture/md5.h"

namespace {

std::string Md5Of(const std::string& text, std::size_t piece)
{
    capture::Md5 md5;
    for (std::size_t at = 0; at < text.size(); at += piece)
        md5.Add(reinterpret_cast<const uint8_t*>(text.data()) + at, std::min(piece, text.size() - at));
    char hex[33];
    md5.Finish(hex);
    return hex;
}

TEST(Md5, GivesTheDigestsOfRfc1321sTestSuiteHoweverTheInputIsCut)
{
    const std::pair<std::string, const char*> cases[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : cases)
        for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{63}, std::size_t{64}, std::size_t{1000}})
            EXPECT_EQ(Md5Of(text, piece), digest) << "'" << text << "' in pieces of " << piece;
    // 55, 56 and 64 bytes: the length fits the last block, or needs one more.
    EXPECT_EQ(Md5Of(std::string(55, 'a'), 10), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(Md5Of(std::string(56, 'a'), 10), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(Md5Of(std::string(64, 'a'), 10), "014842d480b571495a4a0363793f7367");
    // Finish starts anew.
    capture::Md5 md5;
    char hex[33];
    md5.Add(reinterpret_cast<const uint8_t*>("abc"), 3);
    md5.Finish(hex);
    md5.Add(reinterpret_cast<const uint8_t*>("a"), 1);
    md5.Finish(hex);
    EXPECT_STREQ(hex, "0cc175b9c0f1b6a831c399e269772661");
}

}  // namespace
