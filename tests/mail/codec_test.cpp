#include "mail/base64_coder.h"
#include "mail/md5.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

std::string Md5Hex(const std::string& strData, size_t nChunk = 0) {
    MD5_CTX context;
    MD5Init(&context);
    const auto* p = reinterpret_cast<const uint8_t*>(strData.data());
    if (nChunk == 0)
        nChunk = strData.size() + 1;
    for (size_t i = 0; i < strData.size(); i += nChunk)
        MD5Update(&context, p + i, std::min(nChunk, strData.size() - i));
    uint8_t digest[16];
    MD5Final(digest, &context);
    const MD5_CTX wiped{};
    EXPECT_EQ(memcmp(&context, &wiped, sizeof context), 0);
    std::string str;
    char sz[3];
    for (uint8_t b : digest) {
        snprintf(sz, sizeof sz, "%02x", b);
        str += sz;
    }
    return str;
}

std::string Decoded(const CBase64Coder& coder) {
    return std::string(reinterpret_cast<const char*>(coder.GetDecoded()), coder.GetDecodedLength());
}

} // namespace

TEST(Md5, Rfc1321SuiteInOneAndInOddPieces) {
    const std::pair<std::string, std::string> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890"
         "123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"}};
    for (const auto& [strInput, strDigest] : suite) {
        EXPECT_EQ(Md5Hex(strInput), strDigest) << strInput;
        EXPECT_EQ(Md5Hex(strInput, 7), strDigest) << strInput;
    }
    // Lengths around the padding boundary, one block and one byte over.
    EXPECT_EQ(Md5Hex(std::string(55, 'x')), Md5Hex(std::string(55, 'x'), 1));
    EXPECT_EQ(Md5Hex(std::string(56, 'x'), 3), "668a72d5ba17f08e62dabcafad6db14b");
    EXPECT_EQ(Md5Hex(std::string(65, 'x'), 64), "1bc932052302d074bdec39795fe00cf6");
}

TEST(Base64, Rfc4648VectorsWithoutLineBreaks) {
    const std::pair<std::string, std::string> vectors[] = {{"", ""},
                                                           {"f", "Zg=="},
                                                           {"fo", "Zm8="},
                                                           {"foo", "Zm9v"},
                                                           {"foob", "Zm9vYg=="},
                                                           {"fooba", "Zm9vYmE="},
                                                           {"foobar", "Zm9vYmFy"}};
    CBase64Coder coder;
    for (const auto& [strPlain, strEncoded] : vectors) {
        coder.Encode(strPlain.c_str());
        EXPECT_EQ(std::string(coder.GetEncoded()), strEncoded);
        EXPECT_EQ(coder.GetEncodedLength(), strEncoded.size());
        coder.Decode(strEncoded.c_str());
        // Decoded length counts whole groups as three bytes, pads included.
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(coder.GetDecoded())), strPlain);
    }
    const uint8_t bytes[3] = {0xFB, 0xFF, 0xBF};
    coder.Encode(bytes, 3);
    EXPECT_STREQ(coder.GetEncoded(), "+/+/");
    coder.Encode(std::string(57, 'x').c_str());
    EXPECT_EQ(coder.GetEncodedLength(), 76u);
    coder.Encode(std::string(100, 'x').c_str());
    EXPECT_EQ(coder.GetEncodedLength(), 136u);
    EXPECT_EQ(strchr(coder.GetEncoded(), '\n'), nullptr);
}

TEST(Base64, TolerantDecoding) {
    CBase64Coder coder;
    coder.Decode("VXNl\r\ncm5h bWU6");
    EXPECT_EQ(Decoded(coder), "Username:");
    EXPECT_EQ(coder.GetEncodedLength(), 12u); // the filtered input
    coder.Decode("QQ==");
    EXPECT_EQ(Decoded(coder), std::string("A\0\0", 3));
    EXPECT_STREQ(reinterpret_cast<const char*>(coder.GetDecoded()), "A");
    coder.Decode("QUJDR"); // one group, then a single leftover character
    EXPECT_EQ(coder.GetDecodedLength(), 4u);
    EXPECT_EQ(Decoded(coder), "ABCD");
    // Foreign characters decode as "+", a pad in front as "/", high characters as their
    // low half.
    CBase64Coder other;
    coder.Decode("A*A!");
    other.Decode("A+A+");
    EXPECT_EQ(Decoded(coder), Decoded(other));
    coder.Decode("==AA");
    other.Decode("//AA");
    EXPECT_EQ(Decoded(coder), Decoded(other));
    coder.Decode("\xc1\xc2\xc3\xc4");
    other.Decode("ABCD");
    EXPECT_EQ(Decoded(coder), Decoded(other));
    coder.Decode(static_cast<const char*>(nullptr));
    EXPECT_EQ(Decoded(coder), Decoded(other)); // a null text changes nothing
}

TEST(Base64, BuffersGrowInStepsOf4096AndStayTerminated) {
    CBase64Coder coder;
    coder.Encode(reinterpret_cast<const uint8_t*>("x"), 1);
    EXPECT_EQ(coder.GetDecodedBufferSize(), 4096u);
    EXPECT_EQ(coder.GetEncodedBufferSize(), 4096u);
    const std::string strBig(2048, 'y'); // 4096 encoded bytes asked: the next size is 8192
    coder.Encode(strBig.c_str());
    EXPECT_EQ(coder.GetEncodedBufferSize(), 8192u);
    EXPECT_EQ(coder.GetDecodedBufferSize(), 4096u);
    const char* pGrown = coder.GetEncoded();
    coder.Encode(std::string(3000, 'z').c_str()); // fits: reused
    EXPECT_EQ(coder.GetEncoded(), pGrown);
    coder.Encode("ab");
    EXPECT_EQ(strlen(coder.GetEncoded()), coder.GetEncodedLength());
    EXPECT_EQ(coder.GetDecoded()[coder.GetDecodedLength()], 0);
    coder.Decode("YWJjZGVm");
    EXPECT_EQ(strlen(coder.GetEncoded()), coder.GetEncodedLength());
    EXPECT_EQ(coder.GetDecoded()[coder.GetDecodedLength()], 0);
    // A round trip of every byte value.
    std::string strAll;
    for (int i = 0; i < 256; ++i)
        strAll += static_cast<char>(i);
    coder.Encode(reinterpret_cast<const uint8_t*>(strAll.data()), 256);
    std::string strEncoded = coder.GetEncoded();
    coder.Decode(strEncoded.c_str());
    EXPECT_EQ(Decoded(coder).substr(0, 256), strAll);
}
